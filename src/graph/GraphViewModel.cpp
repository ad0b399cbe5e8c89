#include "GraphViewModel.h"

#include "store/LinkStore.h"

#include <utility>

namespace morvane {

GraphViewModel::GraphViewModel(LinkStore& store, std::shared_ptr<GraphWorkPool> pool,
                               std::shared_ptr<ItemOpening> opening,
                               std::shared_ptr<ActiveContextService> contexts, std::shared_ptr<Clock> clock,
                               QObject* parent)
    : GraphViewModel(
          store, pool, std::move(opening), std::move(contexts), std::move(clock),
          [&store, pool] { return GraphLibrary::read(store, pool); }, parent)
{
}

GraphViewModel::GraphViewModel(LinkStore& store, std::shared_ptr<GraphWorkPool> pool,
                               std::shared_ptr<ItemOpening> opening,
                               std::shared_ptr<ActiveContextService> contexts, std::shared_ptr<Clock> clock,
                               LibraryLoader loader, QObject* parent)
    : QObject(parent)
    , m_pool(std::move(pool))
    , m_content(m_filters, m_selection, *m_pool)
    , m_layout(m_content, clock, *m_pool)
    , m_navigation(m_content, m_selection, m_layout)
    , m_loader(store, std::move(loader), m_content, m_layout.placements())
    , m_activeContext(store, std::move(contexts), std::move(clock), m_content, m_filters, m_selection,
                      m_navigation)
    , m_commands(store, std::move(opening), m_content, m_selection, m_navigation, m_layout, m_loader)
{
    // The layout runs at full strength again on every change to the graph or the selection.
    connect(&m_selection, &GraphSelection::selectedNodeIDChanged, &m_layout, &GraphLayoutDriver::wake);
    connect(&m_content, &GraphContent::rederived, this, &GraphViewModel::dropStaleMarks);
    connect(&m_loader, &GraphLoader::libraryApplied, this, &GraphViewModel::forgetLinksNotLoaded);
}

GraphViewModel::~GraphViewModel() = default;

void GraphViewModel::start()
{
    m_loader.reload();
    m_loader.startObservingStore();
    m_layout.start();
    m_activeContext.start();
}

void GraphViewModel::stop()
{
    m_layout.stop();
    m_activeContext.stop();
    m_loader.stopObservingStore();
}

// The visible graph changed: marks on nodes it no longer shows go, and the keyboard walk starts over.
void GraphViewModel::dropStaleMarks()
{
    if (const auto selected = m_selection.selectedNodeID(); selected && !m_content.hasNodeItem(*selected))
        m_selection.setSelectedNodeID(std::nullopt);
    if (const auto active = m_selection.activeNodeID(); active && !m_content.hasNodeItem(*active))
        m_selection.setActiveNodeID(std::nullopt);
    m_navigation.endKeyboardNavigation();
    m_layout.wake();
}

// A new library is shown: pins, the selection and link mode on links it no longer shows go (a drag
// that ended while the load ran keeps its pin), and with nothing selected the graph turns to the item
// in front of the user.
void GraphViewModel::forgetLinksNotLoaded()
{
    m_layout.forgetHiddenPins();
    if (const auto selected = m_selection.selectedNodeID(); selected && !m_content.hasNodeItem(*selected))
        m_selection.setSelectedNodeID(std::nullopt);
    if (const auto source = m_selection.linkingSourceNodeID(); source && !m_content.hasNodeItem(*source))
        m_selection.setLinkingSourceNodeID(std::nullopt);
    if (!m_selection.selectedNodeID())
        m_activeContext.capture();
}

} // namespace morvane
