// The X connection lost (the server gone, or the console's client killed):
// Xlib would end the process with exit code 1 and run the exit-time
// destructors under threads that still stream and draw.
#pragma once

// Saves what a close would save, then ends the process at once with exit
// code 0, on whichever thread finds the connection gone.
void InstallX11ConnectionLossHandler();
