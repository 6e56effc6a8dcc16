#include "virtualcam/scene_control.h"

#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>
#include <sstream>

#include "virtualcam/control_file.h"

namespace {

struct Key {
    const char* name;
    int32_t SceneSettings::*field;
};

const Key kKeys[] = {
    {"spot_x", &SceneSettings::spotX},
    {"spot_y", &SceneSettings::spotY},
    {"spot_radius", &SceneSettings::spotRadius},
    {"spot_red", &SceneSettings::spotRed},
    {"white_x", &SceneSettings::whiteX},
    {"white_y", &SceneSettings::whiteY},
    {"white_size", &SceneSettings::whiteSize},
    {"spot2_x", &SceneSettings::spot2X},
    {"spot2_y", &SceneSettings::spot2Y},
    {"spot2_radius", &SceneSettings::spot2Radius},
    {"spot2_red", &SceneSettings::spot2Red},
    {"noise", &SceneSettings::noise},
    {"slide_red", &SceneSettings::slideRed},
    {"unplugged", &SceneSettings::unplugged},
    {"desktop", &SceneSettings::desktop},
    {"desktop_lag", &SceneSettings::desktopLag},
};

// The desktop's corners keep their fractions: desktop_x0 .. desktop_x3 and
// desktop_y0 .. desktop_y3, in the quad's corner order.
bool ApplyDesktopCorner(const std::string& key, double value, SceneSettings* s) {
    if (key.size() != 10 || key.compare(0, 8, "desktop_") != 0 || (key[8] != 'x' && key[8] != 'y') ||
        key[9] < '0' || key[9] > '3') {
        return false;
    }
    s->desktopCorners[2 * (key[9] - '0') + (key[8] == 'y' ? 1 : 0)] = value;
    return true;
}

// Keeps the rounded value well inside int32.
constexpr double kValueLimit = 1e6;

bool ParseReal(const std::string& token, double* out) {
    const char* begin = token.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || !std::isfinite(v) || std::fabs(v) > kValueLimit) return false;
    *out = v;
    return true;
}

bool ApplyLine(std::string line, SceneSettings* s) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream in(line);
    std::string key, value, extra;
    if (!(in >> key >> value) || (in >> extra)) return false;
    double parsed;
    if (!ParseReal(value, &parsed)) return false;
    for (const Key& k : kKeys) {
        if (key == k.name) {
            s->*k.field = static_cast<int32_t>(std::lround(parsed));
            return true;
        }
    }
    return ApplyDesktopCorner(key, parsed, s);
}

// Contents, not time stamps: some file systems and runtimes keep whole
// seconds, and a test may rewrite the file several times a second.
struct SeenFile {
    std::string path;
    bool present = false;
    std::string text;
};

struct Seen {
    std::mutex mutex;
    SeenFile file;
};

// Never destroyed: a streaming thread may still render a frame while the
// process ends.
Seen& LastSeen() {
    static Seen* const seen = new Seen;
    return *seen;
}

}  // namespace

bool ParseSceneControl(const std::string& text, SceneSettings* s) {
    std::istringstream in(text);
    std::string line;
    bool applied = false;
    while (std::getline(in, line)) {
        if (ApplyLine(line, s)) applied = true;
    }
    return applied;
}

bool TakeControlText(const char* bytes, size_t length, std::string* text) {
    if (length > kControlFileLimit) return false;
    try {
        text->assign(bytes, length);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

const char* SceneControlPath() {
    thread_local std::string path;
    const char* env = std::getenv("LUMIDART_VIRTUALCAM_CONTROL");
    path = (env != nullptr && *env != '\0') ? std::string(env) : DefaultControlPath();
    return path.c_str();
}

bool ReloadSceneControl(SceneSettings* s) {
    const std::string path(SceneControlPath());
    std::string text;
    const bool read = ReadControlFile(path, &text);

    Seen& seen = LastSeen();
    std::lock_guard<std::mutex> lock(seen.mutex);
    if (!read) {
        // Forget the old contents so that a file created again is always read.
        seen.file = SeenFile{path, false, {}};
        return false;
    }
    if (seen.file.present && seen.file.path == path && seen.file.text == text) return false;
    seen.file = SeenFile{path, true, text};
    ParseSceneControl(text, s);
    return true;
}

bool SceneControlSaysUnplugged() {
    std::string text;
    SceneSettings settings;
    return ReadControlFile(SceneControlPath(), &text) && ParseSceneControl(text, &settings) && settings.unplugged != 0;
}
