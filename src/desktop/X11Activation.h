#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace morvane {

// What a window manager with focus-stealing prevention weighs when a window asks to come forward:
// the server time of the user action that asked for it, and the launch it answers.

// A global shortcut's press: an activation that follows it soon is stamped with its time.
void noteX11UserAction(std::uint32_t time);
// The time of the press noted within the last second, taken (a later activation does not reuse it).
std::optional<std::uint32_t> takeRecentX11UserAction();

// The X server's time now, learnt from the property change of a window on a connection of its own
// (only events carry the server's time). None without a display.
std::optional<std::uint32_t> x11ServerTime();

// The time a startup-notification id carries at its end ("…_TIME<server time>"), if it does.
std::optional<std::uint32_t> startupIdTime(const QString& id);

// Tells the desktop that the launch with this startup-notification id is done (its "remove"
// message), so that its launch feedback stops. Not flushed.
void sendStartupRemove(xcb_connection_t* connection, std::uint32_t window, const QString& id);

} // namespace morvane
