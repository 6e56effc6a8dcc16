#include "virtualcam/camera_stats.h"

#include <cstdio>
#include <cstdlib>

namespace {

void AppendLine(const char* line) {
    const char* const path = std::getenv("LUMIDART_VIRTUALCAM_STATS");
    FILE* const stats = path != nullptr && *path != '\0' ? std::fopen(path, "a") : nullptr;
    if (stats == nullptr) return;
    std::fputs(line, stats);
    std::fclose(stats);
}

}  // namespace

void NoteCameraMode(const char* format, const CameraMode& mode) {
    char line[96];
    std::snprintf(line, sizeof line, "mode %s %dx%d %d\n", format, mode.width, mode.height, mode.framesPerSecond);
    AppendLine(line);
}

void NoteCameraFrames(unsigned frames) {
    char line[32];
    std::snprintf(line, sizeof line, "frames %u\n", frames);
    AppendLine(line);
}

void NoteCameraControl(const char* name, int value) {
    char line[64];
    std::snprintf(line, sizeof line, "control %s %d\n", name, value);
    AppendLine(line);
}

void NoteCameraUnplugged() { AppendLine("unplugged\n"); }
