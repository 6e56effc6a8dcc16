// The virtual camera's COM server: a DirectShow capture source that streams
// the synthetic scene, and a property page showing the scene's settings.
#pragma once

#include <windows.h>

#include "virtualcam/scene.h"

// The program's capture source class id: the program finds this DLL the
// way it would find a camera's filter.
extern const CLSID kVirtualCamSourceClassId;
// A second camera, listed only in the video input category, that shows its
// own screen colour.
extern const CLSID kVirtualCamSecondSourceClassId;
extern const CLSID kVirtualCamPageClassId;

// Counts live objects and server locks, for DllCanUnloadNow.
void ModuleObjectCreated();
void ModuleObjectDestroyed();

// Each returns a new object with one reference, or null.
IUnknown* CreateVirtualCamSource();
IUnknown* CreateSecondVirtualCamSource();
IUnknown* CreateVirtualCamPage();

// The settings the streaming thread used last, for the property page.
void PublishSceneSettings(const SceneSettings& settings);
SceneSettings PublishedSceneSettings();
