// GLib's headers name struct members "signals", which Qt's headers define as a keyword: they come
// first.
#include <glib.h>

#include "AtspiThread.h"

#include "foundation/Logging.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include <future>
#include <mutex>

#include <pthread.h>

Q_DECLARE_LOGGING_CATEGORY(lcAccessibility)

namespace morvane {

namespace {

// libatspi attaches the connections it opens to applications to GLib's default main context, whatever
// context it was given: whoever runs that context calls into libatspi. So this thread runs it, which
// needs the process's event loop to leave it alone (Qt does with QT_NO_GLIB=1 set while its
// application object is made). Otherwise the library gets a context of its own, and the main thread
// may dispatch some of its messages: said once in the log.
bool ownsDefaultContext()
{
    const QAbstractEventDispatcher* mainLoop =
        QCoreApplication::instance()
            ? QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread())
            : nullptr;
    if (!mainLoop || !mainLoop->inherits("QEventDispatcherGlib"))
        return true;
    qCWarning(lcAccessibility) << "GLib's main context is run by the event loop (QT_NO_GLIB is not set);"
                                  " accessibility messages may be dispatched on the main thread";
    return false;
}

} // namespace

struct AtspiThread::State {
    GMainContext* context =
        ownsDefaultContext() ? g_main_context_ref(g_main_context_default()) : g_main_context_new();
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    std::thread::id id;
    std::mutex mutex;
    bool closed = false;
    bool dropQueued = false;

    bool dropping()
    {
        const std::lock_guard lock(mutex);
        return dropQueued;
    }
    ~State()
    {
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    }
};

AtspiThread::AtspiThread(std::function<void(void* mainContext)> setUp)
    : m_state(std::make_shared<State>())
{
    std::promise<void> started;
    m_thread = std::thread([state = m_state, setUp = std::move(setUp), &started] {
        pthread_setname_np(pthread_self(), "morvane-a11y");
        g_main_context_push_thread_default(state->context);
        state->id = std::this_thread::get_id();
        started.set_value();
        setUp(state->context);
        g_main_loop_run(state->loop);
        g_main_context_pop_thread_default(state->context);
    });
    started.get_future().wait();
}

AtspiThread::~AtspiThread()
{
    const bool fromOwnJob = isCurrent();
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->closed = true;
        m_state->dropQueued = fromOwnJob;
    }
    // At a lower priority than the jobs: what is queued runs first.
    GSource* quit = g_idle_source_new();
    g_source_set_priority(quit, G_PRIORITY_LOW);
    g_source_set_callback(
        quit,
        [](gpointer loop) {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        g_main_loop_ref(m_state->loop),
        [](gpointer loop) { g_main_loop_unref(static_cast<GMainLoop*>(loop)); });
    g_source_attach(quit, m_state->context);
    g_source_unref(quit);
    if (fromOwnJob)
        m_thread.detach();
    else
        m_thread.join();
}

bool AtspiThread::post(std::function<void()> job)
{
    const std::lock_guard lock(m_state->mutex);
    if (m_state->closed)
        return false;
    struct Queued {
        std::weak_ptr<State> state;
        std::function<void()> job;
    };
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source,
        [](gpointer data) {
            Queued& queued = *static_cast<Queued*>(data);
            const std::shared_ptr<State> state = queued.state.lock();
            if (state && !state->dropping())
                queued.job();
            return G_SOURCE_REMOVE;
        },
        new Queued{m_state, std::move(job)}, [](gpointer data) { delete static_cast<Queued*>(data); });
    g_source_attach(source, m_state->context);
    g_source_unref(source);
    return true;
}

bool AtspiThread::isCurrent() const
{
    return std::this_thread::get_id() == m_state->id;
}

} // namespace morvane
