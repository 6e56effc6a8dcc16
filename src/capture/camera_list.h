// The cameras the operator chooses among: one numbered list on every
// platform, chosen by number or name, switched in turn with C, and the
// choice kept in a small file of its own beside the settings file.
#pragma once

#include <string>
#include <vector>

#include "state/platform.h"

constexpr const char* kCameraFileName = "Lumidart.cam";

// Repeated names get " (2)", " (3)"... in list order, so that every
// camera can be named.
void NameCamerasApart(std::vector<PlatformCamera>* cameras);

struct CameraChoice {
    int index;     // into the list; -1 for the platform's default source
    bool unknown;  // the wanted camera is not there
};

// wanted: empty, a number counting from 1, or a name from the list.
// Without one (or with one that is not there, which sets unknown), the
// remembered identity unless the environment overrides it, else the first
// camera; an empty list leaves the default source.
CameraChoice ChooseCamera(const std::vector<PlatformCamera>& cameras, const std::string& wanted,
                          const std::string& remembered, bool overridden);
// The list's index of that identity, or of the one camera the platform
// takes for the same device under another identity; else -1.
int FindCamera(const std::vector<PlatformCamera>& cameras, const std::string& identity);
// "NUMBER<TAB>NAME<TAB>IDENTITY", the number counting from 1.
std::string CameraLine(int index, const PlatformCamera& camera);

// The remembered file's content for an identity, and back. Anything but
// one complete line of our own form, of printable characters and of
// reasonable length, is no identity.
std::string CameraFileText(const std::string& identity);
bool ParseCameraFile(const std::string& text, std::string* identity);

// --- The camera in use (UI thread) ---

// From the command line: empty, a number or a name.
void SetWantedCamera(const std::string& wanted);
// Lists the cameras and selects the one the source opens: the wanted one,
// else the remembered one, else the first. A wanted camera that is not
// there is reported in one line on standard error.
void SelectStartCamera();
// The next camera in the list, wrapping round, selected; false (nothing
// changed) when there is no other.
bool SelectNextCamera();
// The camera in use, found again in a fresh list, selected under the
// identity it now has (a webcam plugged back in may get another node).
void FollowCurrentCamera();
// The camera in use becomes the default of the next start; nothing is
// written while the platform's default source runs.
void RememberCamera();
// --list-cameras: one line per camera on standard output, or one line
// on standard error when there is none. The exit code, 0.
int PrintCameraList();
