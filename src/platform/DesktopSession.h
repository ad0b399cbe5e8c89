#pragma once

#include <QtGlobal>

namespace morvane {

// Whether the user's session is a Wayland one. Morvane then runs on the session's X display
// (Xwayland), where only X11 windows are seen and X11 shortcuts reach it only while one of them has
// the keyboard.
inline bool isWaylandSession()
{
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
}

} // namespace morvane
