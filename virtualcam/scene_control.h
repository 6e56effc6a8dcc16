// Steering a running scene from outside: a small text file of `key value`
// lines that the renderer re-reads when it changes.
//
// Keys: spot_x spot_y spot_radius spot_red white_x white_y white_size
// spot2_x spot2_y spot2_radius spot2_red noise slide_red unplugged desktop
// desktop_lag, each setting the SceneSettings field of that name. Values
// are numbers of magnitude up to 1,000,000, rounded to the nearest integer;
// desktop_x0 .. desktop_x3 and desktop_y0 .. desktop_y3 set the desktop's
// corners with their fractions. Everything from `#` to the end
// of a line is a comment; blank lines, unknown keys and lines that are not
// exactly a known key and one such number are ignored.
#pragma once

#include <string>

#include "virtualcam/scene.h"

// Applies every valid line of text to *s; fields not named keep their value.
// True when at least one line was applied.
bool ParseSceneControl(const std::string& text, SceneSettings* s);

// LUMIDART_VIRTUALCAM_CONTROL if set, otherwise the user's own default
// (DefaultControlPath). Valid on the calling thread until its next call.
const char* SceneControlPath();

// Reads the control file and, when its path or contents differ from the
// previous call's, applies it as ParseSceneControl does. True when applied;
// false when unchanged, missing or refused by ReadControlFile (then *s is
// untouched). The last-seen state is per process, so one caller per process
// should use it.
bool ReloadSceneControl(SceneSettings* s);

// True while the control file says `unplugged 1`, read afresh, whatever
// ReloadSceneControl has seen.
bool SceneControlSaysUnplugged();
