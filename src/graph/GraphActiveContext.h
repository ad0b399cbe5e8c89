#pragma once

#include "model/CapturedContext.h"
#include "model/LinkItem.h"

#include <QObject>

#include <QCoroTask>

#include <chrono>
#include <memory>
#include <optional>

namespace morvane {

class ActiveContextService;
class Clock;
class ClockTimer;
class GraphContent;
class GraphFilters;
class GraphNavigation;
class GraphSelection;
class LinkStore;

// The item the user has in front of them in another application: while the window is shown the graph
// looks at the application in front every second, marks the link it shows as the active node and,
// when nothing is selected, centres on it. Main thread only.
class GraphActiveContext : public QObject {
    Q_OBJECT
public:
    // While the window is shown, how often the graph looks at what the user has in front of them.
    static constexpr std::chrono::milliseconds lookInterval{1000};

    // Everything but the services outlives the context.
    GraphActiveContext(LinkStore& store, std::shared_ptr<ActiveContextService> contexts,
                       std::shared_ptr<Clock> clock, GraphContent& content, const GraphFilters& filters,
                       GraphSelection& selection, GraphNavigation& navigation, QObject* parent = nullptr);
    ~GraphActiveContext() override;

    // Its own timer, so that a resting layout still follows the application in front.
    void start();
    void stop();
    bool isRunning() const;
    // Looks at the application in front, then follows what it shows; while the look finds nothing the
    // graph keeps following the last item seen.
    void capture();
    // Marks the link's node as the active one (none when it is not among the loaded links) and, when
    // nothing is selected, centres on it.
    void applyLink(const std::optional<LinkItem>& link);

private:
    QCoro::Task<> lookUp(CapturedContext context);

    LinkStore& m_store;
    std::shared_ptr<ActiveContextService> m_contexts;
    std::shared_ptr<Clock> m_clock;
    GraphContent& m_content;
    const GraphFilters& m_filters;
    GraphSelection& m_selection;
    GraphNavigation& m_navigation;
    std::unique_ptr<ClockTimer> m_timer;
    std::optional<CapturedContext> m_lastExternalContext;
};

} // namespace morvane
