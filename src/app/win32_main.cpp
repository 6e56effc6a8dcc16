// The Windows entry: the whole program is the portable RunLumidart.
#include <windows.h>

#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The show command is ignored: the console always opens normally.
    RunLumidart();
    return 0;
}
