// The Windows entry: the whole program is the portable RunLumidart.
#include <windows.h>

#include "app/main_window.h"
#include "app/usage.h"
#include "capture/camera_list.h"
#include "platform/win32_monitors.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The runtime has split the process command line as for main().
    CommandLine command;
    int exitCode = 0;
    if (!ParseOrAnswer(__argc, __argv, &command, &exitCode)) return exitCode;
    if (command.listCameras) return PrintCameraList();
    SetWantedCamera(command.camera);
    SetWantedMonitor(command.monitor);
    // The show command is ignored: the console always opens normally.
    RunLumidart();
    return 0;
}
