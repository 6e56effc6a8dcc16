// Which of a source's modes the capture asks for. GStreamer lists a camera's
// modes in its own order (largest frame first), not the device's, so the
// first one is often the slowest; the choice looks at all of them instead.
#pragma once

#include <gst/gst.h>

// Among every offered structure, each listed size and frame rate counted on
// its own: exactly 640 x 480 at the highest rate, raw before compressed at
// equal rate, then the offered order; with no 640 x 480, the smallest size
// of at least 640 x 480 (4:3 before other shapes) at the highest rate.
// Structures the chain cannot turn into raw video are skipped. When nothing
// qualifies, the first structure. Ranges are fixated towards 640 x 480,
// square pixels and their highest rate (an open-ended rate range towards
// kOpenRateLimit). The chosen mode is a structure holding only the fields
// that choose a mode (format, width, height, framerate,
// pixel-aspect-ratio), each fixed. When its offered structure leaves the
// size or rate to a range (or unstated), that structure follows as offered:
// the mode is asked for first, and a source that cannot give it (an
// encoder, whose output follows its input) gives what it has. Null when
// nothing usable is offered (null, empty or any caps).
GstCaps* ChooseCaptureMode(const GstCaps* offered);

// A rate range reaching beyond this many frames a second is a generator's,
// not a camera's: it is asked for this rate.
constexpr int kOpenRateLimit = 60;

// True when the chain (a JPEG decoder, then a converter) can reach BGRx
// from caps of this structure and features.
bool IsConvertibleMode(const GstStructure* s, const GstCapsFeatures* features);
