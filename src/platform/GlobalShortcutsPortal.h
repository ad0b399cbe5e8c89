#pragma once

#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

#include <optional>

namespace morvane {

// One shortcut as the desktop's shortcuts portal is told of it: an id of our own, the description
// the desktop shows in its shortcut settings, and the trigger we would like, in the portal's text
// form ("CTRL+LOGO+l").
struct PortalShortcut {
    QString id;
    QString description;
    QString preferredTrigger;

    bool operator==(const PortalShortcut&) const = default;
};

// The ids under which the desktop holds our two shortcuts.
namespace PortalShortcutId {
inline const QString quickPanel = QStringLiteral("quick-panel");
inline const QString graph = QStringLiteral("graph");
} // namespace PortalShortcutId

// System-wide shortcuts held by the desktop itself (the Wayland way): the desktop decides the
// actual keys, the user may rebind them in its settings, and a press arrives as the shortcut's id.
// Everything is asynchronous; main thread only.
class GlobalShortcutsPortal : public QObject {
    Q_OBJECT
public:
    enum class State {
        asking,      // the desktop has not answered yet
        unavailable, // no portal, or one without global shortcuts
        available,
    };

    using QObject::QObject;
    ~GlobalShortcutsPortal() override;

    virtual State state() const = 0;
    // The wanted set, replacing the previous one; bound as soon as the portal is available. An
    // empty list releases every shortcut.
    virtual void bindShortcuts(const QList<PortalShortcut>& shortcuts) = 0;
    // The keys the desktop gave each shortcut at its last answer, in the desktop's own words, by id;
    // a shortcut the user left without keys has an empty text. They stay while a new set is being
    // bound and while the shortcuts are released (a recorder listens): the desktop keeps its keys.
    virtual QMap<QString, QString> triggerDescriptions() const = 0;
    // What every place naming a shortcut shows while the desktop holds it: the desktop's keys, or
    // "None" for a shortcut the user left without keys there. Nothing while the desktop holds none
    // (the stored shortcut is shown then).
    std::optional<QString> heldKeysText(const QString& id) const;

signals:
    void stateChanged();
    void triggerDescriptionsChanged();
    // The desktop answered the binding of a new set: triggerDescriptions() are the keys it gave that
    // set (after triggerDescriptionsChanged when they changed), also when it kept every key it had.
    void shortcutsBound();
    void activated(const QString& id);
};

} // namespace morvane
