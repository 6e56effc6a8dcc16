// The picture surface whose pixel memory is the Frame buffer, and the pens.
#pragma once

// UI thread, at window creation, before the worker starts.
void CreatePreviewResources();
// UI thread, at shutdown, after the worker has stopped.
void ReleasePreviewResources();
