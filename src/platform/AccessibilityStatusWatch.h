#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace morvane {

// Tells when the accessibility bus may have been switched on or off from elsewhere: a screen reader
// starting, the desktop's settings, another program setting org.a11y.Status (IsEnabled or
// ScreenReaderEnabled), or the bus's launcher coming or going. The bus launcher announces each change
// of either property. Without a session bus nothing is watched. Main thread.
class AccessibilityStatusWatch final : public QObject {
    Q_OBJECT
public:
    explicit AccessibilityStatusWatch(QObject* parent = nullptr);

signals:
    void switched();

private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);
};

} // namespace morvane
