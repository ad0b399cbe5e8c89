#include "GraphLayoutDriver.h"

#include "GraphContent.h"
#include "foundation/Clock.h"

#include <utility>

namespace morvane {

GraphLayoutDriver::GraphLayoutDriver(const GraphContent& content, std::shared_ptr<Clock> clock,
                                     GraphWorkPool& pool, QObject* parent)
    : QObject(parent)
    , m_content(content)
    , m_clock(std::move(clock))
    , m_layout(ForceLayout::exactRepulsionNodes, &pool)
{
    connect(&content, &GraphContent::nodesReplaced, this, [this](GraphPlacements::Arrangement* arranged) {
        m_placements.follow(m_content.nodes(), m_content.nodeIndex(), arranged);
    });
}

GraphLayoutDriver::~GraphLayoutDriver() = default;

void GraphLayoutDriver::start()
{
    if (m_timer)
        m_timer->stop();
    m_timer = m_clock->makeTimer([this] { step(); });
    wake();
}

void GraphLayoutDriver::stop()
{
    if (m_timer) {
        m_timer->stop();
        m_timer.reset();
    }
}

bool GraphLayoutDriver::isRunning() const
{
    return m_timer && m_timer->isActive();
}

void GraphLayoutDriver::wake()
{
    m_stepsSinceWake = 0;
    m_cooling = 1;
    m_stillSteps = 0;
    if (m_timer && !m_timer->isActive())
        m_timer->start(stepInterval, true);
}

void GraphLayoutDriver::step()
{
    bool still = true;
    const qsizetype count = m_content.nodes().size();
    if (count >= 2) {
        const double cooling =
            m_stepsSinceWake < coolingDelaySteps(count) ? 1.0 : (m_cooling *= coolingPerStep);
        ++m_stepsSinceWake;
        const auto step = m_layout.step(m_content.nodes(), m_placements.moving(), m_content.edges(),
                                        {m_draggingNodeID, &m_userPositionedNodeIDs, m_animatingCenterNodeID},
                                        cooling, &m_content.nodeIndex());
        if (step.arrived)
            m_animatingCenterNodeID.reset();
        emit nodesMoved();
        still = step.largestMove < m_visibleMotion && !m_animatingCenterNodeID && !m_draggingNodeID;
    }
    m_stillSteps = still ? m_stillSteps + 1 : 0;
    if (m_stillSteps >= restingSteps && isRunning()) {
        m_timer->stop();
        emit layoutSettled();
    }
}

void GraphLayoutDriver::glideToOrigin(const QUuid& id, bool animated)
{
    if (animated && !m_userPositionedNodeIDs.contains(id))
        m_animatingCenterNodeID = id;
    else
        m_animatingCenterNodeID.reset();
    wake();
}

void GraphLayoutDriver::dragNode(const QUuid& id, QPointF point)
{
    m_draggingNodeID = id;
    if (!m_placements.place(id, point))
        return;
    emit nodesMoved();
    m_animatingCenterNodeID.reset();
    wake();
}

void GraphLayoutDriver::endDrag(const QUuid& id)
{
    m_draggingNodeID.reset();
    m_userPositionedNodeIDs.insert(id);
    m_animatingCenterNodeID.reset();
    wake();
}

void GraphLayoutDriver::forgetHiddenPins()
{
    m_userPositionedNodeIDs.removeIf([this](const QUuid& id) { return !m_content.hasNodeItem(id); });
}

void GraphLayoutDriver::nodesJoined(const QUuid& a, const QUuid& b)
{
    m_placements.stop({a, b});
    emit nodesMoved();
    wake();
}

} // namespace morvane
