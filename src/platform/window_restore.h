// Brings the main window back: shown, in front, un-minimised. Any thread.
#pragma once

void RestoreMainWindow();
