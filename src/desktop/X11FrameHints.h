#pragma once

class QWidget;

namespace morvane {

// Asks the window manager for a frame that offers closing and moving only, around a window whose size
// is fixed (Qt writes the equal minimum and maximum sizes): the Motif hints name no resizing,
// minimising or maximising. openbox lets no hint take its minimise button away, only a window's type:
// under openbox the window's types start with toolbar, which openbox frames with its title and close
// button alone and otherwise treats as it treats a utility window. Call before every mapping, as the
// window manager reads both when it takes the window on; nothing happens off X11.
void requestCloseOnlyFrame(QWidget& window);

} // namespace morvane
