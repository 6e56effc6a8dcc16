// F12 without frames. Tracking passes poll F12, so while a camera stalls
// or is gone no pass would see it: the UI thread then polls it itself.
#pragma once

// Tracking started: watch the passes from now on. UI thread.
void StartTrackingWatch();
// The watch timer: polls F12 once no Tracking pass has run for about
// 100 ms, and keeps watching while tracking lasts. UI thread.
void OnTrackingWatchTimer();
