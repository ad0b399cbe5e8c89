#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace morvane {

// One running application as the desktop knows it. The identifier is the one the context providers
// recognise (for example "md.obsidian"); empty when the application has none.
struct RunningApplication {
    QString identifier;
    qint64 processId = 0; // 0 when unknown

    bool operator==(const RunningApplication&) const = default;
};

// The applications on the user's desktop: which one is in front, which ones run, and a notice each
// time another application comes to the front. Used on the main thread only.
class Workspace : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Nothing when no application is in front or the desktop cannot tell.
    virtual std::optional<RunningApplication> frontmostApplication() const = 0;
    // In the desktop's order, each application once.
    virtual QList<RunningApplication> runningApplications() const = 0;
    // This application's own identifier.
    virtual QString ownApplicationIdentifier() const = 0;

    // The frontmost application's identifier; nothing when no application is in front.
    std::optional<QString> frontmostIdentifier() const;

signals:
    // Another application came to the front (not merely another window of the same one).
    void applicationActivated(const QString& identifier);
};

} // namespace morvane
