#include "capture/camera_list.h"

#include <cstdio>
#include <map>

namespace {

constexpr const char kFileTag[] = "camera ";
// Longer than any device path, bus name or moniker path.
constexpr size_t kMaxFileBytes = 4096;

std::string g_wanted;
// The identity the source opens; empty for the default source.
std::string g_current;

// A whole decimal number without sign or leading zero; 0 for anything else.
long PositiveNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 || text[0] == '0') return 0;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::vector<PlatformCamera> ListedCameras() {
    std::vector<PlatformCamera> cameras = PlatformListCameras();
    NameCamerasApart(&cameras);
    return cameras;
}

std::string ReadRememberedIdentity() {
    PlatformFile* const file = PlatformOpenExistingFile(kCameraFileName);
    if (file == nullptr) return {};
    const int64_t size = PlatformFileSize(file);
    std::string text;
    if (size > 0 && size <= static_cast<int64_t>(kMaxFileBytes)) {
        text.resize(static_cast<size_t>(size));
        if (!PlatformReadFile(file, text.data(), text.size())) text.clear();
    }
    PlatformCloseFile(file);
    std::string identity;
    return ParseCameraFile(text, &identity) ? identity : std::string{};
}

void Select(const std::string& identity) {
    g_current = identity;
    PlatformCaptureSelectCamera(identity);
}

}  // namespace

void NameCamerasApart(std::vector<PlatformCamera>* cameras) {
    std::map<std::string, int> seen;
    for (PlatformCamera& camera : *cameras) {
        const int count = ++seen[camera.name];
        if (count > 1) camera.name += " (" + std::to_string(count) + ")";
    }
}

int FindCamera(const std::vector<PlatformCamera>& cameras, const std::string& identity) {
    int same = -1, candidates = 0;
    for (size_t i = 0; i < cameras.size(); ++i) {
        if (cameras[i].identity == identity) return static_cast<int>(i);
        if (PlatformSameCamera(cameras[i].identity, identity)) {
            same = static_cast<int>(i);
            ++candidates;
        }
    }
    // Two nodes on one bus (a camera's colour and infrared sensors) leave
    // no way to tell which one was meant.
    return candidates == 1 ? same : -1;
}

CameraChoice ChooseCamera(const std::vector<PlatformCamera>& cameras, const std::string& wanted,
                          const std::string& remembered, bool overridden) {
    if (!wanted.empty()) {
        const long number = PositiveNumber(wanted);
        if (number >= 1 && number <= static_cast<long>(cameras.size())) return {static_cast<int>(number - 1), false};
        for (size_t i = 0; i < cameras.size(); ++i) {
            if (cameras[i].name == wanted) return {static_cast<int>(i), false};
        }
    }
    const bool unknown = !wanted.empty();
    if (overridden || cameras.empty()) return {-1, unknown};
    const int found = remembered.empty() ? -1 : FindCamera(cameras, remembered);
    return {found >= 0 ? found : 0, unknown};
}

std::string CameraLine(int index, const PlatformCamera& camera) {
    return std::to_string(index + 1) + "\t" + camera.name + "\t" + camera.identity;
}

std::string CameraFileText(const std::string& identity) { return kFileTag + identity + "\n"; }

bool ParseCameraFile(const std::string& text, std::string* identity) {
    const size_t tag = sizeof kFileTag - 1;
    if (text.size() > kMaxFileBytes || text.size() < tag + 2 || text.compare(0, tag, kFileTag) != 0 ||
        text.back() != '\n') {
        return false;
    }
    const std::string value = text.substr(tag, text.size() - tag - 1);
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    *identity = value;
    return true;
}

void SetWantedCamera(const std::string& wanted) { g_wanted = wanted; }

void SelectStartCamera() {
    const std::vector<PlatformCamera> cameras = ListedCameras();
    const bool overridden = PlatformCameraOverridden();
    const CameraChoice choice =
        ChooseCamera(cameras, g_wanted, overridden ? std::string{} : ReadRememberedIdentity(), overridden);
    if (choice.unknown) std::fprintf(stderr, "lumidart: no camera \"%s\"; using the default\n", g_wanted.c_str());
    Select(choice.index >= 0 ? cameras[static_cast<size_t>(choice.index)].identity : std::string{});
}

bool SelectNextCamera() {
    const std::vector<PlatformCamera> cameras = ListedCameras();
    if (cameras.empty()) return false;
    const int at = g_current.empty() ? -1 : FindCamera(cameras, g_current);
    // The camera in use has gone from the list: it is being retried as
    // itself, and the list no longer says what comes after it.
    if (at < 0 && !g_current.empty()) return false;
    const size_t next = at < 0 ? 0 : (static_cast<size_t>(at) + 1) % cameras.size();
    if (static_cast<int>(next) == at) return false;
    Select(cameras[next].identity);
    return true;
}

void FollowCurrentCamera() {
    if (g_current.empty()) return;
    const std::vector<PlatformCamera> cameras = ListedCameras();
    const int at = FindCamera(cameras, g_current);
    if (at >= 0 && cameras[static_cast<size_t>(at)].identity != g_current) {
        Select(cameras[static_cast<size_t>(at)].identity);
    }
}

void RememberCamera() {
    if (g_current.empty()) return;
    const std::string text = CameraFileText(g_current);
    PlatformReplaceFile(kCameraFileName, text.data(), text.size());
}

int PrintCameraList() {
    const std::vector<PlatformCamera> cameras = ListedCameras();
    if (cameras.empty()) std::fputs("lumidart: no camera found\n", stderr);
    for (size_t i = 0; i < cameras.size(); ++i) {
        std::printf("%s\n", CameraLine(static_cast<int>(i), cameras[i]).c_str());
    }
    std::fflush(stdout);
    return 0;
}
