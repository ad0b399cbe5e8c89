#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace morvane {

// Announces library changes on the main thread. Every change posts its own announcement (none are
// merged), in the order the changes were made, after the change was committed.
class LinkStoreNotifier : public QObject {
    Q_OBJECT
public:
    // The name under which the change is known across the application.
    static inline const QString didMutateNotification = QStringLiteral("LinkStoreDidMutate");

    explicit LinkStoreNotifier(QObject* parent = nullptr);

    // Callable from any thread: later, on this object's thread, runs trigger (when given), then
    // emits didMutate().
    void post(std::function<void()> trigger);

signals:
    void didMutate();
};

} // namespace morvane
