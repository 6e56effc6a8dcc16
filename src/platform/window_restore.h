// Brings the main window back: shown, in front, un-minimised. Any thread.
#pragma once

void RestoreMainWindow();

// While F12 is down: Preview, and the window restored. Polled, not a window
// message, so it works while the window is minimised. Any thread.
void RestoreOnF12();
