// Termination requests (SIGTERM, SIGHUP, SIGINT) as a close request for the
// event loop: the handler only marks the request and wakes the loop through
// a pipe, and the loop runs the close sequence on the UI thread.
#pragma once

// Installs the handlers, except for a signal that is ignored already;
// before that the signals end the process at once.
void InstallCloseSignals();
// Readable while a request waits; -1 before InstallCloseSignals.
int CloseSignalFd();
// True once for each wait: a request came since the last call.
bool TakeCloseSignal();
