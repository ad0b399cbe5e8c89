#pragma once

#include "model/LinkItem.h"
#include "store/LinkStore.h"
#include "sync/CloudKitSyncService.h"

#include <QCoroFuture>
#include <QList>
#include <QPromise>
#include <QUuid>

#include <memory>
#include <optional>

namespace morvane::test {

// A record store in memory. A pass pushes the links it read to `remoteLinks`; with `holdPasses` set
// it waits after reading until releasePasses(), so a test can act while a pass is in flight. The
// failures the test sets are thrown as SyncError with that text.
class InMemorySyncService : public CloudKitSyncService {
public:
    QCoro::Task<void> sync(LinkStore& store) override
    {
        ++syncCalls;
        ++passesInFlight;
        maxPassesInFlight = std::max(maxPassesInFlight, passesInFlight);
        QList<LinkItem> links = co_await store.allLinks();
        if (holdPasses)
            co_await gate()->future();
        --passesInFlight;
        if (syncFailure)
            throw SyncError(*syncFailure);
        remoteLinks = links;
    }

    QCoro::Task<SyncStatus> accountStatus() override
    {
        ++accountCalls;
        co_return account;
    }

    QCoro::Task<LibraryReset> eraseRemoteData() override
    {
        ++eraseCalls;
        if (eraseFailure)
            throw SyncError(*eraseFailure);
        remoteLinks.clear();
        co_return LibraryReset{QUuid::createUuid(), QDateTime::currentDateTimeUtc()};
    }

    void releasePasses()
    {
        holdPasses = false;
        if (m_gate) {
            m_gate->start();
            m_gate->finish();
            m_gate.reset();
        }
    }

    SyncStatus account = SyncStatus::ready;
    std::optional<QString> syncFailure;
    std::optional<QString> eraseFailure;
    bool holdPasses = false;
    QList<LinkItem> remoteLinks;
    int syncCalls = 0;
    int accountCalls = 0;
    int eraseCalls = 0;
    int passesInFlight = 0;
    int maxPassesInFlight = 0;

private:
    std::shared_ptr<QPromise<void>> gate()
    {
        if (!m_gate)
            m_gate = std::make_shared<QPromise<void>>();
        return m_gate;
    }
    std::shared_ptr<QPromise<void>> m_gate;
};

} // namespace morvane::test
