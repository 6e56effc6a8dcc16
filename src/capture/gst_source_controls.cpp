#include "capture/gst_source_controls.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "capture/gst_capture.h"

namespace {

int32_t ClampToInt(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

bool QueryV4l2(int fd, const v4l2_queryctrl& query, SourceControl* control) {
    const bool adjustable = (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) == 0 &&
                            (query.type == V4L2_CTRL_TYPE_INTEGER || query.type == V4L2_CTRL_TYPE_BOOLEAN ||
                             query.type == V4L2_CTRL_TYPE_MENU);
    v4l2_control current{};
    current.id = query.id;
    if (!adjustable || ioctl(fd, VIDIOC_G_CTRL, &current) != 0) return false;
    *control = {reinterpret_cast<const char*>(query.name), query.minimum, query.maximum, std::max(query.step, 1),
                current.value, nullptr, query.id, query.type, query.flags};
    return true;
}

// Only the settings the element's own class adds, not its base classes'.
bool PropertyControl(GstElement* element, GParamSpec* param, SourceControl* control) {
    if (param->owner_type != G_OBJECT_TYPE(element)) return false;
    if ((param->flags & G_PARAM_READWRITE) != G_PARAM_READWRITE || (param->flags & G_PARAM_CONSTRUCT_ONLY) != 0) {
        return false;
    }
    if (!G_IS_PARAM_SPEC_INT(param) && !G_IS_PARAM_SPEC_UINT(param) && !G_IS_PARAM_SPEC_BOOLEAN(param)) return false;
    GValue value = G_VALUE_INIT;
    g_value_init(&value, param->value_type);
    g_object_get_property(G_OBJECT(element), param->name, &value);
    *control = {param->name, 0, 1, 1, 0, param, 0, 0, 0};
    if (G_IS_PARAM_SPEC_INT(param)) {
        control->minimum = G_PARAM_SPEC_INT(param)->minimum;
        control->maximum = G_PARAM_SPEC_INT(param)->maximum;
        control->value = g_value_get_int(&value);
    } else if (G_IS_PARAM_SPEC_UINT(param)) {
        control->minimum = ClampToInt(G_PARAM_SPEC_UINT(param)->minimum);
        control->maximum = ClampToInt(G_PARAM_SPEC_UINT(param)->maximum);
        control->value = ClampToInt(g_value_get_uint(&value));
    } else {
        control->value = g_value_get_boolean(&value) ? 1 : 0;
    }
    g_value_unset(&value);
    return true;
}

}  // namespace

bool OpenSourceControls(SourceControls* source) {
    GstElement* const element = CaptureSettingsElement();
    if (element == nullptr) return false;
    source->element = GST_ELEMENT(gst_object_ref(element));
    source->v4l2Fd = -1;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "device-fd") != nullptr) {
        int fd = -1;
        g_object_get(element, "device-fd", &fd, nullptr);
        // The element may close and reuse its descriptor (a camera that
        // goes away) while we hold the controls.
        if (fd >= 0) source->v4l2Fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
    return true;
}

void CloseSourceControls(SourceControls* source) {
    if (source->element != nullptr) gst_object_unref(source->element);
    if (source->v4l2Fd >= 0) close(source->v4l2Fd);
    *source = SourceControls{};
}

std::vector<SourceControl> ListSourceControls(const SourceControls& source) {
    std::vector<SourceControl> controls;
    SourceControl control;
    if (source.v4l2Fd >= 0) {
        v4l2_queryctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (ioctl(source.v4l2Fd, VIDIOC_QUERYCTRL, &query) == 0) {
            if (QueryV4l2(source.v4l2Fd, query, &control)) controls.push_back(control);
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        }
        return controls;
    }
    if (source.element == nullptr) return controls;
    guint count = 0;
    GParamSpec** const params = g_object_class_list_properties(G_OBJECT_GET_CLASS(source.element), &count);
    for (guint i = 0; i < count; ++i) {
        if (PropertyControl(source.element, params[i], &control)) controls.push_back(control);
    }
    g_free(params);
    return controls;
}

bool FindSourceControl(const SourceControls& source, uint32_t v4l2Id, const char* property, SourceControl* control) {
    if (source.v4l2Fd >= 0) {
        v4l2_queryctrl query{};
        query.id = v4l2Id;
        return ioctl(source.v4l2Fd, VIDIOC_QUERYCTRL, &query) == 0 && query.id == v4l2Id &&
               QueryV4l2(source.v4l2Fd, query, control);
    }
    if (source.element == nullptr) return false;
    GParamSpec* const param = g_object_class_find_property(G_OBJECT_GET_CLASS(source.element), property);
    return param != nullptr && PropertyControl(source.element, param, control);
}

std::vector<int32_t> SourceMenuItems(const SourceControls& source, const SourceControl& control) {
    std::vector<int32_t> items;
    if (control.property != nullptr || control.v4l2Type != V4L2_CTRL_TYPE_MENU || source.v4l2Fd < 0) return items;
    // A driver's range is not trusted to be a menu's size.
    constexpr int64_t kMostItems = 1024;
    for (int64_t i = control.minimum; i <= control.maximum && i - control.minimum < kMostItems; ++i) {
        v4l2_querymenu item{};
        item.id = control.v4l2Id;
        item.index = static_cast<uint32_t>(i);
        if (ioctl(source.v4l2Fd, VIDIOC_QUERYMENU, &item) == 0) items.push_back(static_cast<int32_t>(i));
    }
    return items;
}

bool SourceControlWritable(const SourceControl& control) {
    constexpr uint32_t kUnwritable = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_INACTIVE | V4L2_CTRL_FLAG_GRABBED |
                                     V4L2_CTRL_FLAG_DISABLED;
    return (control.v4l2Flags & kUnwritable) == 0;
}

void SetSourceControl(const SourceControls& source, const SourceControl& control, int32_t value) {
    if (control.property == nullptr) {
        if (source.v4l2Fd < 0) return;
        v4l2_control set{};
        set.id = control.v4l2Id;
        set.value = value;
        ioctl(source.v4l2Fd, VIDIOC_S_CTRL, &set);
        return;
    }
    GValue v = G_VALUE_INIT;
    g_value_init(&v, control.property->value_type);
    if (G_IS_PARAM_SPEC_INT(control.property)) g_value_set_int(&v, value);
    if (G_IS_PARAM_SPEC_UINT(control.property)) g_value_set_uint(&v, static_cast<guint>(value));
    if (G_IS_PARAM_SPEC_BOOLEAN(control.property)) g_value_set_boolean(&v, value != 0);
    g_object_set_property(G_OBJECT(source.element), control.property->name, &v);
    g_value_unset(&v);
}
