// A camera that comes back. When the stream ends (a cable knocked out, a
// driver's error) the source is dropped and the same camera is opened again
// about once a second, its mode chosen afresh; the frame sink, the picture
// and whatever mode the program is in carry on once frames flow. UI thread.
#pragma once

// The stream ended: closes an open settings dialog as Cancel would, drops
// the source and starts the retries. Once only until the camera is back.
void OnCaptureLost();
// The retry timer, or a camera that announced its return: tries at once.
void OnCaptureRetry();
// True between the loss and the camera's return.
bool CaptureIsLost();
// The close sequence: no further retries.
void EndCaptureRecovery();
