// Settings file access on Windows.
#include <windows.h>

#include <string>

#include "state/platform.h"

struct PlatformFile {
    HANDLE handle;
};

PlatformFile* PlatformOpenExistingFile(const char* name) {
    // No sharing: nobody else may read or write the file while it is open.
    const HANDLE handle =
        CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return new PlatformFile{handle};
}

bool PlatformFileExists(const char* name) { return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES; }

int64_t PlatformFileSize(PlatformFile* file) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file->handle, &size)) return -1;
    return static_cast<int64_t>(size.QuadPart);
}

bool PlatformReadFile(PlatformFile* file, void* buffer, size_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
    size_t done = 0;
    while (done < size) {
        DWORD got = 0;
        if (!ReadFile(file->handle, out + done, static_cast<DWORD>(size - done), &got, nullptr) || got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

void PlatformCloseFile(PlatformFile* file) {
    CloseHandle(file->handle);
    delete file;
}

bool PlatformReplaceFile(const char* name, const void* data, size_t size) {
    // A read-only file is meant to be kept. Windows refuses to rename over
    // it anyway; Wine would not.
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    const std::string temporary = std::string(name) + ".tmp";
    const HANDLE handle = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr) && written == size &&
                    FlushFileBuffers(handle);
    CloseHandle(handle);
    if (!ok || !MoveFileExA(temporary.c_str(), name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}
