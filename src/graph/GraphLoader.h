#pragma once

#include "GraphContent.h"
#include "GraphLibrary.h"
#include "GraphPlacements.h"

#include <QFuture>
#include <QMetaObject>
#include <QObject>
#include <QString>

#include <QCoroTask>

#include <functional>
#include <optional>

namespace morvane {

class LinkStore;

// Loads the library into the graph's content, off the main thread. Loads may overlap: the one started
// last wins, and one that finishes after a newer load is dropped. While it observes the store it
// loads again after every change to the library, except the graph's own.
class GraphLoader : public QObject {
    Q_OBJECT
public:
    // Reads the library and derives degrees and suggestions, off the main thread.
    using LibraryLoader = std::function<QFuture<GraphLibrary>()>;

    // The store, the content and the places of its nodes outlive the loader.
    GraphLoader(LinkStore& store, LibraryLoader loader, GraphContent& content, const GraphPlacements& places,
                QObject* parent = nullptr);
    ~GraphLoader() override;

    // Loads the library; where the shown nodes are is remembered once it is in, before the shown set
    // changes. At the end, the status line becomes the given text or else the count of what is shown.
    void reload(std::optional<QString> message = std::nullopt);
    // A load has started whose library is not shown yet.
    bool isLoading() const { return m_lastAppliedLoad < m_loadsStarted; }

    // Reloads after every library change, except while the graph writes to it itself.
    void startObservingStore();
    void stopObservingStore();
    bool isObservingStore() const { return bool(m_storeObserver); }
    // Announces a change the graph made (with sync) for the rest of the application. The graph is
    // already up to date, by an edge drawn in place or a load of its own with its message, so the
    // observer lets each such announcement pass instead of loading over that message.
    void announceOwnChange();

signals:
    // A loaded library is shown: marks and pins on links it no longer shows are stale. Announced
    // before the status line is set.
    void libraryApplied();

private:
    QCoro::Task<> load(quint64 generation, std::optional<QString> message);
    bool readBeforeOwnChange(quint64 generation, quint64 ownChangesAtStart,
                             const std::optional<QString>& message);
    void apply(GraphLibrary library, const std::optional<QString>& message,
               std::optional<GraphContent::Derived> derived = std::nullopt);

    LinkStore& m_store;
    LibraryLoader m_loader;
    GraphContent& m_content;
    const GraphPlacements& m_places;
    QMetaObject::Connection m_storeObserver;
    // Announcements of the graph's own writes still on their way: each is let pass without a load,
    // one by one, so two writes in a row cannot lift each other's guard.
    int m_ownChangesPending = 0;
    // Every change the graph has announced: a load that read the library before one is out of date.
    quint64 m_ownChanges = 0;
    // Loads are numbered as they start; a load applies only when it is newer than the last applied.
    quint64 m_loadsStarted = 0;
    quint64 m_lastAppliedLoad = 0;
    // The newest load started with a message of its own; a load asked for without one while it is
    // still on its way carries the message on, so a command's text outlives the load its change sets off.
    quint64 m_messageLoad = 0;
    QString m_loadMessage;
};

} // namespace morvane
