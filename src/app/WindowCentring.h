#pragma once

class QWidget;

namespace morvane {

// Centres the window's frame on the available area of its screen. A window mapped for the first
// time has no frame yet (the window manager adds it afterwards, and it is some twenty pixels high),
// so it is centred again once the frame is known.
void centreOnScreen(QWidget& window);

} // namespace morvane
