#include "LinkStoreNotifier.h"

#include "foundation/Logging.h"
#include "foundation/ThreadHandOff.h"

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
    auto announce = [this, trigger = std::move(trigger)] {
        if (trigger) {
            // An exception must not unwind through the event loop; the change itself stands.
            try {
                trigger();
            } catch (const std::exception& error) {
                qCWarning(lcLinkStore) << "The sync trigger failed:" << error.what();
            }
        }
        emit didMutate();
    };
    handOffToMainThread();
    QMetaObject::invokeMethod(this, std::move(announce), Qt::QueuedConnection);
}

} // namespace morvane
