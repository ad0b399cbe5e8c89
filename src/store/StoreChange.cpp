#include "StoreChange.h"

#include "LinkStore.h"
#include "foundation/Error.h"

#include <QCoroFuture>
#include <QPointer>

namespace morvane {

QCoro::Task<bool> changeStoreFor(QObject* owner, LinkStore& store, std::function<void(SQLiteStore&)> change,
                                 std::function<void(const QString&)> report)
{
    const QPointer<QObject> self(owner);
    try {
        QFuture<void> changing = store.run(std::move(change));
        co_await changing;
    } catch (...) {
        if (self)
            report(describeError(std::current_exception()));
        co_return false;
    }
    co_return !self.isNull();
}

} // namespace morvane
