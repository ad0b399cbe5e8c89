#include "WaylandWorkspace.h"

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "platform/AccessibilityApi.h"
#include "platform/ApplicationNames.h"

#include <QCoreApplication>
#include <QPointer>

#include <utility>

MORVANE_LOGGING_CATEGORY(lcWaylandWorkspace, "Workspace")

namespace morvane {

namespace {

DesktopWindow describedNative(const NativeWindow& window)
{
    DesktopWindow described;
    described.application = {identifierForApplicationName(window.applicationName), window.processId};
    described.title = window.title;
    // The name the bus gives the application is the one users know, as a window class is on X11.
    described.windowClass = window.applicationName;
    return described;
}

} // namespace

WaylandWorkspace::WaylandWorkspace(std::shared_ptr<Workspace> display, NativeFrontWindow nativeFront,
                                   const std::shared_ptr<Clock>& clock, QObject* parent)
    : Workspace(parent)
    , m_display(std::move(display))
    , m_nativeFront(std::move(nativeFront))
    , m_recheck(clock->makeTimer([this] { lookUpNative(); }))
    , m_lookupTimeout(clock->makeTimer([this] { lookupTimedOut(); }))
{
    connect(m_display.get(), &Workspace::applicationActivated, this, &WaylandWorkspace::displayActivated);
    // The bus's trust is known only after a first check; a native window already in front is found
    // then, or once the user turns the bus on.
    // A focus change between native windows, which the X display does not see, comes as the bus's
    // activation events; the periodic look covers applications that send none.
    const auto lookIfNative = [this] {
        if (m_nativeFront.isReadable() && !m_display->frontmostApplication())
            lookUpNative();
    };
    connect(m_nativeFront.accessibility(), &AccessibilitySession::trustChanged, this, lookIfNative);
    connect(m_nativeFront.accessibility(), &AccessibilitySession::windowActivated, this, lookIfNative);
}

WaylandWorkspace::~WaylandWorkspace() = default;

std::optional<RunningApplication> WaylandWorkspace::frontmostApplication() const
{
    if (m_native)
        return m_native->application;
    return m_display->frontmostApplication();
}

QList<RunningApplication> WaylandWorkspace::runningApplications() const
{
    QList<RunningApplication> running = m_display->runningApplications();
    if (m_native && !running.contains(m_native->application))
        running.append(m_native->application);
    return running;
}

QString WaylandWorkspace::ownApplicationIdentifier() const
{
    return m_display->ownApplicationIdentifier();
}

std::optional<DesktopWindow> WaylandWorkspace::frontWindow() const
{
    if (m_native)
        return m_native;
    return m_display->frontWindow();
}

std::optional<DesktopWindow> WaylandWorkspace::windowBeforeOwn() const
{
    if (m_nativeBeforeOwn)
        return m_nativeBeforeOwn;
    return m_display->windowBeforeOwn();
}

void WaylandWorkspace::displayActivated(const QString& identifier)
{
    ++m_generation;
    if (identifier.isEmpty()) {
        // Held back until the bus has said which native window, if any, is in front.
        m_noticeHeld = true;
        lookUpNative();
        return;
    }
    m_noticeHeld = false;
    m_recheck->stop();
    // One of our windows over a native one: that one is where the user came from.
    m_nativeBeforeOwn = identifier == ownApplicationIdentifier() ? m_native : std::nullopt;
    m_native.reset();
    emit applicationActivated(identifier);
}

void WaylandWorkspace::lookUpNative()
{
    if (!m_nativeFront.isReadable()) {
        if (!m_unreadableLogged)
            qCWarning(lcWaylandWorkspace) << "Windows of native Wayland applications cannot be seen: the "
                                             "accessibility bus is off; only X11 windows are captured.";
        m_unreadableLogged = true;
        nativeFound(std::nullopt);
        return;
    }
    if (m_looking)
        return; // the lookup in flight answers for this change too
    m_looking = true;
    const quint64 lookup = ++m_lookup;
    const quint64 generation = m_generation;
    m_lookupTimeout->start(lookupBound, false);
    QPointer<WaylandWorkspace> self(this);
    // A job the accessibility thread refused, or one that failed, finds nothing; one that is dropped
    // unanswered is ended by the time-out.
    // Continued through the application object, which outlives the lookup (this one may not).
    m_nativeFront.lookUp().then(QCoreApplication::instance(),
                                [self, lookup, generation](QFuture<std::optional<NativeWindow>> done) {
                                    std::optional<NativeWindow> window;
                                    try {
                                        window = done.result();
                                    } catch (...) {
                                    }
                                    if (self)
                                        self->lookupAnswered(lookup, generation, window);
                                });
}

void WaylandWorkspace::lookupAnswered(quint64 lookup, quint64 generation,
                                      const std::optional<NativeWindow>& window)
{
    if (lookup != m_lookup || !m_looking)
        return; // timed out: what it found may no longer be in front
    m_looking = false;
    m_lookupTimeout->stop();
    if (generation == m_generation)
        nativeFound(window);
    else if (!m_display->frontmostApplication())
        lookUpNative();
}

void WaylandWorkspace::lookupTimedOut()
{
    if (!m_looking)
        return;
    m_looking = false;
    if (!std::exchange(m_timeoutLogged, true))
        qCInfo(lcWaylandWorkspace) << "The accessibility bus did not say in time which native window is "
                                      "in front; it counts as unknown until it does.";
    // Nothing is read from an unknown window, nor from the one the user had before it; the next look
    // (the bus's events, the periodic one) may name it.
    nativeFound(std::nullopt);
}

void WaylandWorkspace::nativeFound(const std::optional<NativeWindow>& window)
{
    if (m_display->frontmostApplication())
        return; // an X11 window came to the front meanwhile
    const std::optional<DesktopWindow> found =
        window ? std::optional(describedNative(*window)) : std::nullopt;
    const auto applicationOf = [](const std::optional<DesktopWindow>& described) {
        return described ? described->application : RunningApplication{};
    };
    const bool otherApplication = applicationOf(found) != applicationOf(m_native);
    m_native = found;
    m_nativeBeforeOwn.reset();
    if (m_nativeFront.isReadable() && !m_recheck->isActive())
        m_recheck->start(nativeRecheck, true);
    if (otherApplication || m_noticeHeld)
        emit applicationActivated(found ? found->application.identifier : QString());
    m_noticeHeld = false;
}

} // namespace morvane
