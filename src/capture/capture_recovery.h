// A camera that comes back. When the stream ends (a cable knocked out, a
// driver's error) or a running camera stops delivering frames, the source
// is dropped and the same camera is opened again about once a second, its
// mode chosen afresh; the frame sink, the picture and whatever mode the
// program is in carry on once frames flow. UI thread.
#pragma once

// The source runs: from now on a stream that stops is noticed.
void StartCaptureWatch();
// The stream ended: closes an open settings dialog as Cancel would, drops
// the source and starts the retries. Once only until the camera is back.
void OnCaptureLost();
// A camera that announced its return: tries at once.
void OnCaptureRetry();
// The watch's one-second tick: a retry while the camera is lost, otherwise
// a look at whether frames still arrive.
void OnCaptureWatchTimer();
// True between the loss and the camera's return.
bool CaptureIsLost();
// The close sequence, or a camera given up for another: no further
// retries and no watch.
void EndCaptureRecovery();
