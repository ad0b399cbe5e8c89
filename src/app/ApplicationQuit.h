#pragma once

namespace morvane {

// Quits as the tray menu's Quit, a termination signal and `morvane --quit` all do: every modal window
// is dismissed as Escape would, then every event loop ends, the nested ones of those windows
// included, so that no window can hold the application back. The main loop's end then runs the
// termination (the library drained and closed) and main() returns 0. Before the main loop runs, it
// dismisses the modal windows and leaves the rest to main(), which asks quitRequested(). Main thread.
void quitApplication();

// Whether quitApplication() was called.
bool quitRequested();

} // namespace morvane
