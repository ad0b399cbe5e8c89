#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

#include <chrono>
#include <optional>

namespace morvane {

// Whether this session has a message bus: one announced in DBUS_SESSION_BUS_ADDRESS, or the user's
// bus socket at $XDG_RUNTIME_DIR/bus, which GLib and libdbus find by themselves. Without either they
// would launch a bus of their own from the X display, which outlives this process (and holds its
// standard output open): every layer that opens the session bus asks this first.
bool hasSessionBus();

// One object's interface on the session bus.
struct BusObject {
    QString service;
    QString path;
    QString interface;
};

// The user's session message bus, as other applications' own interfaces are asked over it. Every call
// waits at most the given time (an application that hangs costs no more) and may be made from any
// thread; none is ever made from the main thread. Answers come back as plain values: structures and
// arrays as QVariantList, dictionaries as QVariantMap, object paths as their text.
class SessionBus {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{400};

    virtual ~SessionBus() = default;

    // The process that owns the name; nothing when nobody owns it or the bus does not say.
    virtual std::optional<qint64>
    ownerProcessId(const QString& name, std::chrono::milliseconds timeout = defaultTimeout) const = 0;
    // The names on the bus that begin with the prefix; empty when the bus does not answer.
    virtual QStringList namesWithPrefix(const QString& prefix,
                                        std::chrono::milliseconds timeout = defaultTimeout) const = 0;
    // A property's value; nothing on any error, or when no answer came in time.
    virtual std::optional<QVariant> property(const BusObject& object, const QString& name,
                                             std::chrono::milliseconds timeout = defaultTimeout) const = 0;
    // A method's first result; nothing on any error, or when no answer came in time.
    virtual std::optional<QVariant> call(const BusObject& object, const QString& method,
                                         const QVariantList& arguments = {},
                                         std::chrono::milliseconds timeout = defaultTimeout) const = 0;
};

// The session bus of DBUS_SESSION_BUS_ADDRESS, through Qt DBus. Without a session bus every answer is
// nothing.
class DBusSessionBus final : public SessionBus {
public:
    std::optional<qint64> ownerProcessId(const QString& name,
                                         std::chrono::milliseconds timeout) const override;
    QStringList namesWithPrefix(const QString& prefix, std::chrono::milliseconds timeout) const override;
    std::optional<QVariant> property(const BusObject& object, const QString& name,
                                     std::chrono::milliseconds timeout) const override;
    std::optional<QVariant> call(const BusObject& object, const QString& method,
                                 const QVariantList& arguments,
                                 std::chrono::milliseconds timeout) const override;
};

} // namespace morvane
