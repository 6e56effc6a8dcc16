// The UI thread's event loop on X11. The windows that live on the UI
// connection (the console, the settings dialog) hand in their own event
// handlers, so the loop knows none of them.
#pragma once

#include <X11/Xlib.h>

// True if the handler took the event; the next handler does not see it.
using X11EventHandler = bool (*)(XEvent* event);

// Handlers are asked in the order they were added. UI thread.
void AddX11EventHandler(X11EventHandler handler);
void RemoveX11EventHandler(X11EventHandler handler);

// A descriptor the loop also waits on, and what it does at each turn of
// the loop (true if it acted: the loop then looks at the end condition
// again before anything else). One action per descriptor; a few at most.
void WatchX11LoopDescriptor(int fd, bool (*act)());
void UnwatchX11LoopDescriptor(int fd);

// One-shot: fire runs on the UI thread once the delay has passed. A timer
// is known by its fire procedure: starting it again re-arms it. At most
// eight at a time.
void StartX11LoopTimer(int milliseconds, void (*fire)());
void StopX11LoopTimer(void (*fire)());

// Ends every running loop; for good. Any thread.
void PostX11LoopQuit();

// Dispatches events, the descriptor's action and the timer until the quit
// is posted or done() is true (never, for a null done).
void RunEventLoopUntil(bool (*done)());
