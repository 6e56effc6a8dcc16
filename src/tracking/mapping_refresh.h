// A new screen geometry while tracking: the worker re-solves the mapping
// before its next pass, so the coefficients keep a single writer while the
// worker reads them.
#pragma once

// UI thread, after storing the new screen size.
void RequestMappingRefresh();
// UI thread, at the start of tracking: SolveMapping, which also meets any
// pending request.
void SolveMappingAtTrackingStart();
// Worker, at the start of each Tracking pass.
void RefreshMappingIfRequested();
