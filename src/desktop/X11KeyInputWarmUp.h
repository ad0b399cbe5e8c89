#pragma once

class QWidget;

namespace morvane {

// Qt's own compose handling reads the locale's table of compose sequences (thousands of lines) when the
// first key press reaches a text field, so that the first key a process is typed waits a few
// milliseconds longer than every later one. This sends the window, through the X server, a press of a
// Shift key, which types nothing and which Qt takes as it takes any press, so that the table is read
// now instead. Call it for the active window with its text field focused; once a process is enough.
// Nothing happens off X11, or when an input method of the desktop's reads the keys (it would be told
// of the press).
void readComposeTableBeforeFirstKey(QWidget& window);

} // namespace morvane
