#include <windows.h>

#include "virtualcam/control_file.h"

bool ReadControlFile(const std::string& path, std::string* text) {
    // Looked at before opening: only a plain file on disk is opened at all.
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &attributes)) return false;
    if ((attributes.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return false;
    if (attributes.nFileSizeHigh != 0 || attributes.nFileSizeLow > kControlFileLimit) return false;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[kControlFileLimit + 1];
    DWORD length = 0;
    const bool ok = GetFileType(file) == FILE_TYPE_DISK && ReadFile(file, buffer, sizeof buffer, &length, nullptr);
    CloseHandle(file);
    return ok && TakeControlText(buffer, length, text);
}

// The temporary folder is the user's own on Windows.
std::string DefaultControlPath() {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof buffer, buffer);
    const std::string dir = n > 0 && n <= MAX_PATH ? std::string(buffer, n) : ".\\";
    return dir + "lumidart-virtualcam.txt";
}
