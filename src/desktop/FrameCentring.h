#pragma once

class QWidget;

namespace morvane {

// Which screen's available area a window is centred on.
enum class CentringScreen { window, pointer };

// Centres the window's frame on the available area of a screen; a frame larger than that area starts
// at its top left corner. A window mapped afresh has no frame yet: the window manager adds a title bar
// afterwards, and depending on the window's gravity it either pushes the window down (a move) or grows
// the frame around it without telling the window at all. So after the first placement the frame is
// looked for (every 20 ms, for up to two seconds, until the window is hidden) and the window is
// centred again once it is known.
void centreFrameOnScreen(QWidget& window, CentringScreen screen = CentringScreen::window);

} // namespace morvane
