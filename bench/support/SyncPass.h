#pragma once

#include "store/LinkStore.h"
#include "sync/RecordStoreSyncService.h"

#include <QCoroTask>

#include <stdexcept>

namespace morvane::bench {

// One sync pass of the service over the store, awaited on the calling thread's event loop; a pass that
// fails throws.
inline void syncPass(RecordStoreSyncService& service, LinkStore& store)
{
    const auto succeeds = [](RecordStoreSyncService& service, LinkStore& store) -> QCoro::Task<bool> {
        try {
            co_await service.sync(store);
        } catch (...) {
            co_return false;
        }
        co_return true;
    };
    if (!QCoro::waitFor(succeeds(service, store)))
        throw std::runtime_error("the sync pass failed");
}

} // namespace morvane::bench
