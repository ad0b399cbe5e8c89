#include "MainThreadAnswer.h"

#include "foundation/ThreadHandOff.h"

#include <QCoreApplication>

#include <atomic>
#include <memory>

namespace morvane {

AccessRequestCompletion firstAnswerOnMainThread(LifetimeToken::Watch alive, AccessRequestCompletion handler)
{
    auto answered = std::make_shared<std::atomic_flag>();
    // Checked on the main thread only, where the owner is destroyed.
    return [answered, alive, handler = std::move(handler)](bool granted, std::optional<QString> error) {
        if (answered->test_and_set())
            return;
        auto answer = [alive, handler, granted, error = std::move(error)] {
            if (alive)
                handler(granted, error);
        };
        handOffToMainThread();
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(answer), Qt::QueuedConnection);
    };
}

} // namespace morvane
