#include "capture/gst_mode_choice.h"

#include <gst/video/video.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "state/tracker_state.h"

namespace {

struct Rate {
    int num = 0, den = 1;
};

// One size and rate a structure offers.
struct Offer {
    guint index = 0;
    int width = 0, height = 0;
    Rate rate;
    bool hasRate = false;
    bool compressed = false;
    const char* format = nullptr;
};

bool Faster(const Rate& a, const Rate& b) {
    return static_cast<int64_t>(a.num) * b.den > static_cast<int64_t>(b.num) * a.den;
}

// The first value of an int range at or above target, on its step; its top
// when target is beyond it.
int NearestInRange(const GValue* range, int target) {
    const int low = gst_value_get_int_range_min(range);
    const int high = gst_value_get_int_range_max(range);
    const int step = gst_value_get_int_range_step(range) > 0 ? gst_value_get_int_range_step(range) : 1;
    if (target <= low) return low;
    if (target >= high) return high - (high - low) % step;
    const int below = low + (target - low) / step * step;
    return below == target || below + step > high ? below : below + step;
}

// Each value an int field offers: ranges by their value nearest the target,
// a missing field (anything goes) by the target itself.
void IntChoices(const GValue* value, int target, std::vector<int>* out) {
    if (value == nullptr) {
        out->push_back(target);
    } else if (G_VALUE_HOLDS_INT(value)) {
        out->push_back(g_value_get_int(value));
    } else if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        out->push_back(NearestInRange(value, target));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            IntChoices(gst_value_list_get_value(value, i), target, out);
        }
    }
}

// Each rate a framerate field offers: a range by its highest, an
// open-ended one by kOpenRateLimit.
void RateChoices(const GValue* value, std::vector<Rate>* out) {
    if (value == nullptr) return;
    if (GST_VALUE_HOLDS_FRACTION(value)) {
        out->push_back({gst_value_get_fraction_numerator(value), gst_value_get_fraction_denominator(value)});
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        const GValue* const low = gst_value_get_fraction_range_min(value);
        const GValue* const high = gst_value_get_fraction_range_max(value);
        Rate top{gst_value_get_fraction_numerator(high), gst_value_get_fraction_denominator(high)};
        const Rate limit{kOpenRateLimit, 1};
        const Rate bottom{gst_value_get_fraction_numerator(low), gst_value_get_fraction_denominator(low)};
        if (Faster(top, limit)) top = Faster(bottom, limit) ? bottom : limit;
        out->push_back(top);
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) RateChoices(gst_value_list_get_value(value, i), out);
    }
}

bool IsConvertibleFormat(const char* format) {
    const GstVideoFormat f = gst_video_format_from_string(format);
    return f != GST_VIDEO_FORMAT_UNKNOWN && f != GST_VIDEO_FORMAT_ENCODED;
}

// The first raw format of the structure the converter takes; null when
// there is none, or the structure does not name any (any will do).
const char* FirstConvertibleFormat(const GstStructure* s, bool* any) {
    const GValue* const value = gst_structure_get_value(s, "format");
    *any = value == nullptr;
    if (value == nullptr) return nullptr;
    if (G_VALUE_HOLDS_STRING(value)) {
        const char* const f = g_value_get_string(value);
        return IsConvertibleFormat(f) ? f : nullptr;
    }
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const GValue* const item = gst_value_list_get_value(value, i);
            if (G_VALUE_HOLDS_STRING(item) && IsConvertibleFormat(g_value_get_string(item))) {
                return g_value_get_string(item);
            }
        }
    }
    return nullptr;
}

void AddModes(const GstStructure* s, guint index, std::vector<Offer>* out) {
    Offer base;
    base.index = index;
    base.compressed = gst_structure_has_name(s, "image/jpeg");
    if (!base.compressed) {
        bool any = false;
        base.format = FirstConvertibleFormat(s, &any);
    }
    std::vector<int> widths, heights;
    std::vector<Rate> rates;
    IntChoices(gst_structure_get_value(s, "width"), kFrameWidth, &widths);
    IntChoices(gst_structure_get_value(s, "height"), kFrameHeight, &heights);
    RateChoices(gst_structure_get_value(s, "framerate"), &rates);
    base.hasRate = !rates.empty();
    if (rates.empty()) rates.push_back(Rate{});
    for (int w : widths) {
        for (int h : heights) {
            for (const Rate& r : rates) {
                Offer m = base;
                m.width = w;
                m.height = h;
                m.rate = r;
                out->push_back(m);
            }
        }
    }
}

// 0: exactly the frame's size; 1: larger and 4:3; 2: larger, other shapes;
// 3: does not qualify.
int SizeClass(const Offer& m) {
    if (m.width == kFrameWidth && m.height == kFrameHeight) return 0;
    if (m.width < kFrameWidth || m.height < kFrameHeight) return 3;
    return static_cast<int64_t>(m.width) * 3 == static_cast<int64_t>(m.height) * 4 ? 1 : 2;
}

bool Better(const Offer& a, const Offer& b) {
    const int ca = SizeClass(a), cb = SizeClass(b);
    if (ca != cb) return ca < cb;
    const int64_t areaA = static_cast<int64_t>(a.width) * a.height;
    const int64_t areaB = static_cast<int64_t>(b.width) * b.height;
    if (areaA != areaB) return areaA < areaB;
    if (Faster(a.rate, b.rate) || Faster(b.rate, a.rate)) return Faster(a.rate, b.rate);
    if (a.compressed != b.compressed) return !a.compressed;
    return a.index < b.index;
}

// What tells one mode from another. Every other field (sof-marker,
// colorimetry, interlace-mode, chroma-site...) stays open: a stream that
// states fewer fields than its pad offers must still fit the mode.
gboolean ChoosesMode(GQuark field, GValue*, gpointer) {
    static const GQuark kChoosing[] = {g_quark_from_static_string("format"), g_quark_from_static_string("width"),
                                       g_quark_from_static_string("height"), g_quark_from_static_string("framerate"),
                                       g_quark_from_static_string("pixel-aspect-ratio")};
    for (const GQuark q : kChoosing) {
        if (field == q) return TRUE;
    }
    return FALSE;
}

GstCaps* Pinned(GstCaps* caps) {
    caps = gst_caps_fixate(caps);
    gst_structure_filter_and_map_in_place(gst_caps_get_structure(caps, 0), ChoosesMode, nullptr);
    return caps;
}

// True when the structure leaves its size or rate to a range, or says
// nothing of them: a generator gives what is asked for within it, but an
// encoder or parser offers its template and gives what its input gives.
bool LeavesModeOpen(const GstStructure* s) {
    for (const char* field : {"width", "height", "framerate"}) {
        const GValue* const value = gst_structure_get_value(s, field);
        if (value == nullptr || GST_VALUE_HOLDS_INT_RANGE(value) || GST_VALUE_HOLDS_FRACTION_RANGE(value)) return true;
    }
    return false;
}

// Raw video that states no pixel shape has square pixels: left open, the
// shape is whatever the chain downstream offers, a range that nothing
// upstream fixes.
void SquareUnlessStated(GstStructure* s) {
    if (gst_structure_has_name(s, "video/x-raw") && !gst_structure_has_field(s, "pixel-aspect-ratio")) {
        gst_structure_set(s, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    }
}

// The structure of the chosen mode with the fields that choose it fixed,
// then the offered structure itself where that leaves the mode open.
GstCaps* Fixed(const GstCaps* offered, const Offer& m) {
    GstCaps* const caps = gst_caps_copy_nth(offered, m.index);
    GstStructure* const s = gst_caps_get_structure(caps, 0);
    if (m.format != nullptr) gst_structure_set(s, "format", G_TYPE_STRING, m.format, nullptr);
    if (gst_structure_has_field(s, "width")) gst_structure_set(s, "width", G_TYPE_INT, m.width, nullptr);
    if (gst_structure_has_field(s, "height")) gst_structure_set(s, "height", G_TYPE_INT, m.height, nullptr);
    if (m.hasRate) gst_structure_set(s, "framerate", GST_TYPE_FRACTION, m.rate.num, m.rate.den, nullptr);
    if (gst_structure_has_field(s, "pixel-aspect-ratio")) {
        gst_structure_fixate_field_nearest_fraction(s, "pixel-aspect-ratio", 1, 1);
    }
    SquareUnlessStated(s);
    GstCaps* const chosen = Pinned(caps);
    if (LeavesModeOpen(gst_caps_get_structure(offered, m.index))) {
        GstCaps* const open = gst_caps_copy_nth(offered, m.index);
        SquareUnlessStated(gst_caps_get_structure(open, 0));
        gst_caps_append(chosen, open);
    }
    return chosen;
}

}  // namespace

bool IsConvertibleMode(const GstStructure* s, const GstCapsFeatures* features) {
    if (features != nullptr && !gst_caps_features_is_any(features) &&
        !gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY)) {
        return false;
    }
    if (gst_structure_has_name(s, "image/jpeg")) return true;
    if (!gst_structure_has_name(s, "video/x-raw")) return false;
    bool any = false;
    return FirstConvertibleFormat(s, &any) != nullptr || any;
}

GstCaps* ChooseCaptureMode(const GstCaps* offered) {
    if (offered == nullptr || gst_caps_is_any(offered) || gst_caps_is_empty(offered)) return nullptr;
    std::vector<Offer> modes;
    for (guint i = 0; i < gst_caps_get_size(offered); ++i) {
        const GstStructure* const s = gst_caps_get_structure(offered, i);
        if (IsConvertibleMode(s, gst_caps_get_features(offered, i))) AddModes(s, i, &modes);
    }
    const Offer* best = nullptr;
    for (const Offer& m : modes) {
        if (SizeClass(m) < 3 && (best == nullptr || Better(m, *best))) best = &m;
    }
    if (best != nullptr) return Fixed(offered, *best);
    // Nothing of the frame's size or larger: the first usable structure,
    // at its own best.
    for (const Offer& m : modes) {
        if (m.index != modes.front().index) break;
        if (best == nullptr || Faster(m.rate, best->rate)) best = &m;
    }
    if (best != nullptr) return Fixed(offered, *best);
    return Pinned(gst_caps_copy_nth(offered, 0));
}
