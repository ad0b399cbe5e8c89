#pragma once

#include "GraphActiveContext.h"
#include "GraphCommands.h"
#include "GraphContent.h"
#include "GraphFilters.h"
#include "GraphLayoutDriver.h"
#include "GraphLoader.h"
#include "GraphNavigation.h"
#include "GraphSelection.h"
#include "GraphWorkPool.h"

#include <QObject>

#include <memory>

namespace morvane {

class ActiveContextService;
class Clock;
class ItemOpening;
class LinkStore;

// The model behind the Graph window, made of its parts: the scope and filters, the marked nodes, the
// library as last loaded and the visible graph derived from it, the layout with where the nodes are,
// the centring and keyboard walk, the loads, the item in front of the user, and the commands. The
// views bind to the parts; this object builds them in order, joins them where a change to one makes
// another's state stale, and runs them while the view is shown: the view's appear handler calls
// start(), its disappear handler stop(). Main thread only.
class GraphViewModel : public QObject {
    Q_OBJECT
public:
    using LibraryLoader = GraphLoader::LibraryLoader;

    // The store outlives the model. The graph's work off the main thread runs on the pool, which the
    // views draw their frames on too.
    GraphViewModel(LinkStore& store, std::shared_ptr<GraphWorkPool> pool,
                   std::shared_ptr<ItemOpening> opening, std::shared_ptr<ActiveContextService> contexts,
                   std::shared_ptr<Clock> clock, QObject* parent = nullptr);
    GraphViewModel(LinkStore& store, std::shared_ptr<GraphWorkPool> pool,
                   std::shared_ptr<ItemOpening> opening, std::shared_ptr<ActiveContextService> contexts,
                   std::shared_ptr<Clock> clock, LibraryLoader loader, QObject* parent = nullptr);
    ~GraphViewModel() override;

    GraphFilters& filters() { return m_filters; }
    const GraphFilters& filters() const { return m_filters; }
    GraphSelection& selection() { return m_selection; }
    const GraphSelection& selection() const { return m_selection; }
    GraphContent& content() { return m_content; }
    const GraphContent& content() const { return m_content; }
    GraphLayoutDriver& layout() { return m_layout; }
    const GraphLayoutDriver& layout() const { return m_layout; }
    GraphNavigation& navigation() { return m_navigation; }
    const GraphNavigation& navigation() const { return m_navigation; }
    GraphLoader& loader() { return m_loader; }
    const GraphLoader& loader() const { return m_loader; }
    GraphActiveContext& activeContext() { return m_activeContext; }
    const GraphActiveContext& activeContext() const { return m_activeContext; }
    GraphCommands& commands() { return m_commands; }
    const GraphCommands& commands() const { return m_commands; }
    GraphWorkPool& workPool() const { return *m_pool; }

    // Loads the library, follows its changes, runs the layout and looks at the item in front.
    void start();
    void stop();

private:
    void dropStaleMarks();
    void forgetLinksNotLoaded();

    // In build order: each part is given the parts before it.
    std::shared_ptr<GraphWorkPool> m_pool;
    GraphFilters m_filters;
    GraphSelection m_selection;
    GraphContent m_content;
    GraphLayoutDriver m_layout;
    GraphNavigation m_navigation;
    GraphLoader m_loader;
    GraphActiveContext m_activeContext;
    GraphCommands m_commands;
};

} // namespace morvane
