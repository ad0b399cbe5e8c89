#include "LinkStoreNotifier.h"

#include "foundation/Logging.h"

#include <exception>

MORVANE_LOGGING_CATEGORY(lcLinkStore, "LinkStore")

namespace morvane {

LinkStoreNotifier::LinkStoreNotifier(QObject* parent)
    : QObject(parent)
{
    setObjectName(didMutateNotification);
}

void LinkStoreNotifier::post(std::function<void()> trigger)
{
    QMetaObject::invokeMethod(
        this,
        [this, trigger = std::move(trigger)] {
            if (trigger) {
                // An exception must not unwind through the event loop; the change itself stands.
                try {
                    trigger();
                } catch (const std::exception& error) {
                    qCWarning(lcLinkStore) << "The sync trigger failed:" << error.what();
                }
            }
            emit didMutate();
        },
        Qt::QueuedConnection);
}

} // namespace morvane
