// The analysis worker: one pass over the Frame buffer per Frame ready signal.
#pragma once

// UI thread, at window creation, once the Frame buffer exists.
void StartWorker();
// UI thread, at shutdown, after the capture has stopped. Returns once the
// worker has exited; carries out window requests meanwhile, so a worker that
// is restoring the window (F12) cannot deadlock with it.
void StopWorker();
// One pass in the current Mode; the worker calls it after each wake-up.
void RunAnalysisPass();
