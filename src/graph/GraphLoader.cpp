#include "GraphLoader.h"

#include "foundation/Error.h"
#include "foundation/Logging.h"
#include "store/LinkStore.h"

#include <QCoroFuture>
#include <QPointer>

#include <utility>

MORVANE_LOGGING_CATEGORY(lcGraph, "GraphViewModel")

namespace morvane {

GraphLoader::GraphLoader(LinkStore& store, LibraryLoader loader, GraphContent& content,
                         const GraphPlacements& places, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_loader(std::move(loader))
    , m_content(content)
    , m_places(places)
{
}

GraphLoader::~GraphLoader() = default;

void GraphLoader::reload(std::optional<QString> message)
{
    const quint64 generation = ++m_loadsStarted;
    if (!message && m_messageLoad > m_lastAppliedLoad)
        message = m_loadMessage;
    if (message) {
        m_messageLoad = generation;
        m_loadMessage = *message;
    }
    load(generation, std::move(message));
}

QCoro::Task<> GraphLoader::load(quint64 generation, std::optional<QString> message)
{
    const QPointer<GraphLoader> self(this);
    const quint64 ownChanges = m_ownChanges;
    std::optional<GraphLibrary> library;
    QString failure;
    try {
        library = co_await m_loader();
    } catch (...) {
        failure = describeError(std::current_exception());
    }
    // A load that ends after a newer one has been applied would show an older library.
    if (!self || generation <= m_lastAppliedLoad)
        co_return;
    if (library && readBeforeOwnChange(generation, ownChanges, message))
        co_return;
    if (library && library->items.size() >= GraphContent::derivedAwayItems) {
        // A large library's visible graph is worked out on the pool, and where its nodes start from
        // the places of the nodes shown now; it is shown unless the graph was rebuilt meanwhile (a
        // scope or filter chosen), when it is worked out again here.
        const quint64 rebuilds = m_content.rebuildCount();
        QFuture<std::shared_ptr<GraphContent::Derived>> deriving =
            m_content.deriveAway(*library, m_places.memory());
        const std::shared_ptr<GraphContent::Derived> derived = co_await deriving;
        if (!self || generation <= m_lastAppliedLoad || readBeforeOwnChange(generation, ownChanges, message))
            co_return;
        if (m_content.rebuildCount() == rebuilds) {
            m_lastAppliedLoad = generation;
            apply(std::move(*library), message, std::move(*derived));
            co_return;
        }
    }
    m_lastAppliedLoad = generation;
    if (library) {
        apply(std::move(*library), message);
    } else {
        qCWarning(lcGraph) << "The graph could not be loaded:" << failure;
        m_content.setMessage(failure);
    }
}

// The graph drew its own change in place (a relation) after this load read the library: shown, the
// load would take that change away again, and the change's announcement is let pass without a load.
// The newest load reads the library again instead; an older one leaves it to the newer.
bool GraphLoader::readBeforeOwnChange(quint64 generation, quint64 ownChangesAtStart,
                                      const std::optional<QString>& message)
{
    if (m_ownChanges == ownChangesAtStart)
        return false;
    if (generation == m_loadsStarted)
        reload(message);
    return true;
}

void GraphLoader::apply(GraphLibrary library, const std::optional<QString>& message,
                        std::optional<GraphContent::Derived> derived)
{
    m_content.apply(std::move(library), std::move(derived));
    emit libraryApplied();
    m_content.setMessage(message.value_or(m_content.statusText()));
}

void GraphLoader::startObservingStore()
{
    if (m_storeObserver)
        return;
    // Announcements made while nothing listened will never arrive here.
    m_ownChangesPending = 0;
    m_storeObserver = connect(&m_store.notifier(), &LinkStoreNotifier::didMutate, this, [this] {
        if (m_ownChangesPending > 0)
            --m_ownChangesPending;
        else
            reload();
    });
}

void GraphLoader::stopObservingStore()
{
    if (m_storeObserver) {
        disconnect(m_storeObserver);
        m_storeObserver = {};
    }
}

void GraphLoader::announceOwnChange()
{
    ++m_ownChanges;
    if (isObservingStore())
        ++m_ownChangesPending;
    m_store.notifyDidMutate(true);
}

} // namespace morvane
