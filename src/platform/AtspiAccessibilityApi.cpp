// GLib's headers name struct members "signals", which Qt's headers define as a keyword: they come
// first.
#include <atspi/atspi.h>

#include "AtspiAccessibilityApi.h"

#include "foundation/Logging.h"
#include "platform/AccessibilityBusSwitch.h"
#include "platform/AccessibilityStatusWatch.h"
#include "platform/AtspiElements.h"
#include "platform/AtspiEventWatch.h"
#include "platform/AtspiValues.h"
#include "platform/GLibLoopThread.h"
#include "platform/GObjectRef.h"
#include "platform/SessionBus.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMetaObject>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include <unistd.h>

MORVANE_LOGGING_CATEGORY(lcAccessibility, "Accessibility")

namespace morvane {

namespace {

AtspiAccessible* atspiObject(void* object)
{
    return static_cast<AtspiAccessible*>(object);
}

// The selection of a list, table or tree; none for another element or none at all.
GObjectRef<AtspiSelection> selectionOf(AtspiAccessible* accessible)
{
    return GObjectRef<AtspiSelection>(accessible ? atspi_accessible_get_selection_iface(accessible)
                                                 : nullptr);
}

// libatspi attaches the connections it opens to applications to GLib's default main context, whatever
// context it was given: whoever runs that context calls into libatspi. So the accessibility thread
// runs it, which needs the process's event loop to leave it alone (Qt does with QT_NO_GLIB=1 set while
// its application object is made). Otherwise the library gets a context of its own (null here), and
// the main thread may dispatch some of its messages: said once in the log.
GMainContext* accessibilityContext()
{
    const QAbstractEventDispatcher* mainLoop =
        QCoreApplication::instance()
            ? QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread())
            : nullptr;
    if (!mainLoop || !mainLoop->inherits("QEventDispatcherGlib"))
        return g_main_context_default();
    qCWarning(lcAccessibility) << "GLib's main context is run by the event loop (QT_NO_GLIB is not set);"
                                  " accessibility messages may be dispatched on the main thread";
    return nullptr;
}

} // namespace

// What lives on the accessibility thread, held by every job as well as by this object: a job may end
// this object, or outlive it once a quit let the thread go, and what it reads stays until it returns.
struct AtspiAccessibilityApi::Objects {
    bool available = false; // libatspi reached the bus
    GObjectRef<AtspiAccessible> desktop;
    bool warnedOffThread = false;
    AtspiElements elements;
    std::unique_ptr<AtspiEventWatch> watch;
    std::atomic<AccessibilityTrust> trust{AccessibilityTrust::notAvailable};
    std::atomic<bool> abandoned{false}; // the quit let the thread go: nothing more is read

    // Whom the thread's news is told to, on its own (main) thread; none once it closed.
    std::mutex frontMutex;
    AtspiAccessibilityApi* front = nullptr;

    // Queued to the front while it is there: once it closed, nothing reaches it, and what was queued
    // to it goes with it.
    void announce(void (AccessibilitySession::*signal)())
    {
        const std::lock_guard lock(frontMutex);
        if (front)
            QMetaObject::invokeMethod(
                front, [front = front, signal] { (front->*signal)(); }, Qt::QueuedConnection);
    }

    void announceRenamed(const QString& name)
    {
        const std::lock_guard lock(frontMutex);
        if (front)
            QMetaObject::invokeMethod(
                front, [front = front, name] { emit front->statusMayHaveChanged(name); },
                Qt::QueuedConnection);
    }

    void setTrust(AccessibilityTrust now)
    {
        if (trust.exchange(now) != now)
            announce(&AccessibilitySession::trustChanged);
    }

    // On the thread, before its loop runs: mainContext is its GLib main context.
    void setUp(GMainContext* mainContext);

    // On the thread, last: nothing of the library's calls back into these objects after it.
    void tearDown()
    {
        elements.releaseAll();
        watch.reset();
        desktop.reset();
        available = false;
    }
};

AtspiAccessibilityApi::AtspiAccessibilityApi(QObject* parent)
    : AccessibilityApi(parent)
    , m_objects(std::make_shared<Objects>())
{
    m_objects->front = this;
    m_thread = std::make_unique<GLibLoopThread>("morvane-a11y", accessibilityContext());
    m_thread->post([objects = m_objects, context = m_thread->context()] { objects->setUp(context); });
    // The switch may be turned elsewhere while this runs: each change is read back at once.
    m_statusWatch = new AccessibilityStatusWatch(this);
    connect(m_statusWatch, &AccessibilityStatusWatch::switched, this, [this] { refreshTrust(); });
    refreshTrust();
}

std::shared_ptr<AtspiAccessibilityApi> AtspiAccessibilityApi::create()
{
    return {new AtspiAccessibilityApi, [](AtspiAccessibilityApi* api) {
                // From one of its own jobs nothing is waited for: the thread ends once that job returns.
                if (api->m_thread->isCurrent() || api->close(quitWait)) {
                    delete api;
                    return;
                }
                // A job may still read through it (a read is bounded, a job's many reads are not
                // waited for): it stays, silent, until the job returns or the process ends. Its reads
                // after the one under way answer nothing at once, so that it returns soon.
                api->m_objects->abandoned = true;
                static std::mutex keptMutex;
                static auto* kept = new std::vector<AtspiAccessibilityApi*>; // to the process's end
                {
                    const std::lock_guard lock(keptMutex);
                    kept->push_back(api);
                }
                qCInfo(lcAccessibility) << "The accessibility thread was left inside a read on the bus; "
                                           "it ends with that read or with the process";
            }};
}

// Destroyed from one of its own jobs, the thread runs nothing of this object's after this returns:
// the library lets go of the listener here and now.
AtspiAccessibilityApi::~AtspiAccessibilityApi()
{
    close(GLibLoopThread::unbounded);
}

bool AtspiAccessibilityApi::close(std::chrono::milliseconds wait)
{
    {
        const std::lock_guard lock(m_objects->frontMutex);
        m_objects->front = nullptr;
    }
    delete std::exchange(m_statusWatch, nullptr);
    const std::shared_ptr<Objects> objects = m_objects;
    if (m_thread->isCurrent())
        objects->tearDown();
    else
        m_thread->post([objects] { objects->tearDown(); });
    return m_thread->stop(wait);
}

AccessibilityTrust AtspiAccessibilityApi::trust() const
{
    return m_objects->trust.load();
}

void AtspiAccessibilityApi::Objects::setUp(GMainContext* mainContext)
{
    if (!hasSessionBus())
        return;
    // 0: set up now; 1: already set up (by another copy of this object in the process).
    const int status = atspi_init();
    if (status != 0 && status != 1) {
        qCInfo(lcAccessibility) << "The accessibility bus cannot be reached; other windows cannot be read";
        return;
    }
    // The library sets its connections up on GLib's default context; given another (only once the
    // bus is there: without it the library aborts), it moves those it has to that one.
    if (mainContext != g_main_context_default())
        atspi_set_main_context(mainContext);
    atspi_set_timeout(callTimeoutMs, callTimeoutMs);
    desktop.reset(atspi_get_desktop(0));
    // Children and names are read afresh: Chromium adds its windows' contents without an event the
    // cache follows, and a tab switch renames. States and roles stay cached, kept true by the
    // applications' events that this thread dispatches and by what the listener drops: uncached, the
    // library's own event handler reads them back from inside a dispatch and deadlocks.
    if (desktop)
        atspi_accessible_set_cache_mask(
            desktop.get(), AtspiCache(ATSPI_CACHE_DEFAULT & ~ATSPI_CACHE_CHILDREN & ~ATSPI_CACHE_NAME));
    available = desktop != nullptr;
    // The watch belongs to these objects and ends with them, deregistered: its callback may hold them
    // plainly.
    if (available)
        watch =
            std::make_unique<AtspiEventWatch>([this] { announce(&AccessibilitySession::windowActivated); },
                                              [this](const QString& name) { announceRenamed(name); });
}

bool AtspiAccessibilityApi::post(std::function<void()> job)
{
    // The objects are held by the job: a job may end this object.
    return m_thread->post([objects = m_objects, job = std::move(job)] {
        job();
        objects->elements.releaseAll();
    });
}

// --- Trust ---------------------------------------------------------------------------------------------

QFuture<AccessibilityTrust> AtspiAccessibilityApi::refreshTrust()
{
    return run([objects = m_objects](AccessibilityElements&) {
        const AccessibilityTrust trust = AccessibilityBusSwitch::trust(busCallTimeoutMs);
        objects->setTrust(trust);
        return trust;
    });
}

void AtspiAccessibilityApi::requestTrust()
{
    post([objects = m_objects] {
        AccessibilityBusSwitch::turnOn(busCallTimeoutMs);
        objects->setTrust(AccessibilityBusSwitch::trust(busCallTimeoutMs));
    });
}

// --- Objects -------------------------------------------------------------------------------------------

void* AtspiAccessibilityApi::object(const AccessibilityElement& element) const
{
    if (!m_thread->isCurrent()) {
        if (!std::exchange(m_objects->warnedOffThread, true))
            qCWarning(lcAccessibility) << "An accessibility read off the accessibility thread was refused";
        return nullptr;
    }
    if (m_objects->abandoned)
        return nullptr;
    return m_objects->elements.find(element);
}

AccessibilityElement AtspiAccessibilityApi::keep(void* object) const
{
    return m_objects->elements.keep(atspiObject(object));
}

// --- Reads ---------------------------------------------------------------------------------------------

QList<AccessibilityApplication> AtspiAccessibilityApi::applications() const
{
    QList<AccessibilityApplication> found;
    if (!m_thread->isCurrent() || !m_objects->available || m_objects->abandoned)
        return found;
    AtspiAccessible* desktop = m_objects->desktop.get();
    ErrorSlot countError;
    const gint count = atspi_accessible_get_child_count(desktop, &countError);
    const qint64 ownProcess = getpid();
    for (gint index = 0; index < count; ++index) {
        ErrorSlot error;
        GObjectRef<AtspiAccessible> application(atspi_accessible_get_child_at_index(desktop, index, &error));
        if (!application)
            continue;
        const qint64 processId = atspi_accessible_get_process_id(application.get(), &error);
        if (error || processId == ownProcess)
            continue;
        const AccessibilityElement element = keep(application.release());
        found.append({element, processId, name(element).value_or(QString())});
    }
    return found;
}

AccessibilityRole AtspiAccessibilityApi::role(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return AccessibilityRole::other;
    ErrorSlot error;
    const AtspiRole role = atspi_accessible_get_role(accessible, &error);
    return error ? AccessibilityRole::other : roleOf(role);
}

std::optional<QString> AtspiAccessibilityApi::name(const AccessibilityElement& element) const
{
    return readAtspiText(atspiObject(object(element)), atspi_accessible_get_name);
}

std::optional<QString> AtspiAccessibilityApi::description(const AccessibilityElement& element) const
{
    return readAtspiText(atspiObject(object(element)), atspi_accessible_get_description);
}

AccessibilityStates AtspiAccessibilityApi::states(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return {};
    const GObjectRef<AtspiStateSet> set(atspi_accessible_get_state_set(accessible));
    if (!set)
        return {};
    if (m_objects->watch)
        m_objects->watch->keepStates(accessible);
    return statesOf(set.get());
}

void AtspiAccessibilityApi::readStatesAfresh(const AccessibilityElement& application) const
{
    if (AtspiAccessible* accessible = atspiObject(object(application)); accessible && m_objects->watch)
        m_objects->watch->dropStatesOfApplication(*accessible);
}

QHash<QString, QString> AtspiAccessibilityApi::attributes(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return {};
    ErrorSlot error;
    return takeAtspiTable(atspi_accessible_get_attributes(accessible, &error));
}

QHash<QString, QString> AtspiAccessibilityApi::documentAttributes(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return {};
    const GObjectRef<AtspiDocument> document(atspi_accessible_get_document_iface(accessible));
    if (!document)
        return {};
    ErrorSlot error;
    return takeAtspiTable(atspi_document_get_document_attributes(document.get(), &error));
}

std::optional<QString> AtspiAccessibilityApi::text(const AccessibilityElement& element, int maxLength) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return std::nullopt;
    const GObjectRef<AtspiText> text(atspi_accessible_get_text_iface(accessible));
    if (!text)
        return std::nullopt;
    ErrorSlot countError;
    const gint count = atspi_text_get_character_count(text.get(), &countError);
    if (countError)
        return std::nullopt;
    ErrorSlot error;
    if (gchar* characters = atspi_text_get_text(text.get(), 0, std::min(count, maxLength), &error))
        return takeAtspiString(characters);
    return std::nullopt;
}

std::optional<int> AtspiAccessibilityApi::childCount(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return std::nullopt;
    ErrorSlot error;
    const gint count = atspi_accessible_get_child_count(accessible, &error);
    if (error || count < 0)
        return std::nullopt;
    return count;
}

std::optional<AccessibilityElement> AtspiAccessibilityApi::childAt(const AccessibilityElement& element,
                                                                   int index) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return std::nullopt;
    ErrorSlot error;
    AtspiAccessible* child = atspi_accessible_get_child_at_index(accessible, index, &error);
    if (!child)
        return std::nullopt;
    return keep(child);
}

std::optional<int> AtspiAccessibilityApi::selectedChildCount(const AccessibilityElement& element) const
{
    const GObjectRef<AtspiSelection> selection = selectionOf(atspiObject(object(element)));
    if (!selection)
        return std::nullopt;
    ErrorSlot error;
    const gint count = atspi_selection_get_n_selected_children(selection.get(), &error);
    if (error || count < 0)
        return std::nullopt;
    return count;
}

std::optional<AccessibilityElement>
AtspiAccessibilityApi::selectedChildAt(const AccessibilityElement& element, int index) const
{
    const GObjectRef<AtspiSelection> selection = selectionOf(atspiObject(object(element)));
    if (!selection)
        return std::nullopt;
    ErrorSlot error;
    AtspiAccessible* child = atspi_selection_get_selected_child(selection.get(), index, &error);
    if (!child)
        return std::nullopt;
    return keep(child);
}

std::optional<int> AtspiAccessibilityApi::documentCurrentPage(const AccessibilityElement& element) const
{
    AtspiAccessible* accessible = atspiObject(object(element));
    if (!accessible)
        return std::nullopt;
    const GObjectRef<AtspiDocument> document(atspi_accessible_get_document_iface(accessible));
    if (!document)
        return std::nullopt;
    ErrorSlot error;
    const gint page = atspi_document_get_current_page_number(document.get(), &error);
    // A document without pages (a web page) answers -1.
    if (error || page < 1)
        return std::nullopt;
    return page;
}

std::optional<quint64> AtspiAccessibilityApi::changeStamp() const
{
    if (!m_thread->isCurrent() || !m_objects->watch || m_objects->abandoned)
        return std::nullopt;
    return m_objects->watch->changesSeen();
}

// --- The older names -----------------------------------------------------------------------------------

std::optional<AccessibilityElement> AtspiAccessibilityApi::applicationElement(qint64 processId) const
{
    if (std::optional<AccessibilityApplication> found = application(processId))
        return found->element;
    return std::nullopt;
}

std::optional<AccessibilityValue> AtspiAccessibilityApi::attribute(const AccessibilityElement& element,
                                                                   const QString& attributeName) const
{
    using Kind = AccessibilityValue::Kind;
    const auto textValue = [](std::optional<QString> text,
                              Kind kind = Kind::text) -> std::optional<AccessibilityValue> {
        if (!text || text->isEmpty())
            return std::nullopt;
        return AccessibilityValue{kind, *text, {}};
    };
    const auto elements = [](QList<AccessibilityElement> list) -> std::optional<AccessibilityValue> {
        if (list.isEmpty())
            return std::nullopt;
        return AccessibilityValue{Kind::elementList, {}, std::move(list)};
    };
    if (attributeName == u"AXTitle")
        return textValue(name(element));
    if (attributeName == u"AXDescription")
        return textValue(description(element));
    if (attributeName == u"AXValue" || attributeName == u"AXSelectedText")
        return textValue(text(element, 4096));
    if (attributeName == u"AXChildren")
        return elements(children(element));
    if (attributeName == u"AXSelectedChildren")
        return elements(selectedChildren(element));
    if (attributeName == u"AXURL") {
        const QHash<QString, QString> document = documentAttributes(element);
        return textValue(document.value(QStringLiteral("DocURL"), document.value(QStringLiteral("URI"))),
                         Kind::url);
    }
    if (attributeName == u"AXFocusedWindow") {
        if (std::optional<AccessibilityElement> frame = activeFrame(element))
            return AccessibilityValue{Kind::element, {}, {*frame}};
    }
    return std::nullopt;
}

} // namespace morvane
