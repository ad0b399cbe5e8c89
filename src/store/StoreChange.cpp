#include "StoreChange.h"

#include "foundation/Error.h"

#include <QCoroFuture>
#include <QPointer>

namespace morvane {

QCoro::Task<bool> changeStoreFor(QObject* owner, QFuture<void> change,
                                 std::function<void(const QString&)> report)
{
    const QPointer<QObject> self(owner);
    try {
        co_await change;
    } catch (...) {
        if (self)
            report(describeError(std::current_exception()));
        co_return false;
    }
    co_return !self.isNull();
}

} // namespace morvane
