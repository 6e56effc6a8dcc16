// Brings the main window back: shown, in front, un-minimised. Any thread.
#pragma once

void RestoreMainWindow();

// While F12 is down and tracking: Preview, and the window restored. Polled,
// not a window message, so it works while the window is minimised. Any
// thread; of simultaneous polls only one acts.
void RestoreOnF12();
