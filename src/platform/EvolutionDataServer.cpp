#include "EvolutionDataServer.h"

#include "foundation/Logging.h"
#include "platform/GLibErrorSlot.h"
#include "platform/GLibLoopThread.h"
#include "platform/GObjectRef.h"
#include "platform/LoadableModule.h"
#include "platform/SessionBus.h"

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

MORVANE_LOGGING_CATEGORY(lcEds, "EvolutionDataServer")

namespace morvane {

namespace {

constexpr gint busTimeoutMs = 2000;
// How long going away waits for the thread; the application's quit does not wait on the bus.
constexpr auto stopWait = std::chrono::milliseconds(200);

bool nameAvailable(GDBusConnection* bus, const char* name, const QStringList& activatable,
                   GCancellable* cancellable)
{
    if (activatable.contains(QLatin1String(name)))
        return true;
    ErrorSlot error;
    GVariant* owned = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner",
                                                  g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"),
                                                  G_DBUS_CALL_FLAGS_NONE, busTimeoutMs, cancellable, &error);
    if (!owned)
        return false;
    gboolean answer = false;
    g_variant_get(owned, "(b)", &answer);
    g_variant_unref(owned);
    return answer;
}

// The snapshot's readers wait for the service, or may come to: one on the main thread would freeze
// the windows. Said once, for the first such read, so that a stray caller is found.
void noteMainThreadRead(const char* what)
{
    static std::atomic_bool said = false;
    const QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread() && !said.exchange(true))
        qCWarning(lcEds).noquote() << what;
}

// The failed sources of a kind, one a line, else the failure of the whole service.
std::optional<QString> problemText(const QString& failure, const QList<EdsSourceFailure>& failed,
                                   QLatin1StringView service)
{
    if (!failed.isEmpty()) {
        QStringList lines;
        for (const EdsSourceFailure& source : failed)
            lines.append(QStringLiteral("“%1” cannot be read: %2").arg(source.name, source.message));
        return lines.join(u'\n');
    }
    if (failure.isEmpty())
        return std::nullopt;
    return QStringLiteral("The %1 service is there but could not be read: %2").arg(service, failure);
}

} // namespace

// What the service thread knows and does: held by each of its jobs, so that a thread left inside a call
// when the service object goes still has it.
struct EvolutionDataServer::Worker {
    LoadableModule module;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Presence calendars = Presence::unknown;
    Presence contacts = Presence::unknown;
    QList<std::function<void(Presence, Presence)>> waiting;
    QList<std::function<void()>> failureFollowers;
    bool loadWanted = false;
    bool stopping = false;
    std::unique_ptr<EdsReader> reader; // set once, under mutex
    std::shared_ptr<const Snapshot> unread = std::make_shared<Snapshot>();
    const GObjectRef<GCancellable> cancellable{g_cancellable_new()}; // cancelled when the service goes

    explicit Worker(const QString& name)
        : module(name)
    {
    }

    // Any thread: what the thread waits for is cancelled, answers still waiting are dropped (what they
    // would reach may be going too), and the reader is handed to the caller to end.
    std::unique_ptr<EdsReader> stop()
    {
        std::unique_ptr<EdsReader> made;
        {
            std::lock_guard lock(mutex);
            stopping = true;
            g_cancellable_cancel(cancellable.get());
            waiting.clear();
            failureFollowers.clear();
            made = std::move(reader);
        }
        changed.notify_all();
        return made;
    }

    // The registry's constructor "succeeds" with no sources when the service is missing, so the bus
    // is asked first whether the service is there at all.
    void checkPresence()
    {
        Presence calendarAnswer = Presence::absent;
        Presence contactAnswer = Presence::absent;
        ErrorSlot error;
        const GObjectRef<GDBusConnection> bus(
            hasSessionBus() ? g_bus_get_sync(G_BUS_TYPE_SESSION, cancellable.get(), &error) : nullptr);
        if (bus) {
            QStringList activatable;
            if (GVariant* names = g_dbus_connection_call_sync(
                    bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                    "ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE,
                    busTimeoutMs, cancellable.get(), &error)) {
                GVariantIter* iter = nullptr;
                const gchar* name = nullptr;
                g_variant_get(names, "(as)", &iter);
                while (g_variant_iter_next(iter, "&s", &name))
                    activatable.append(QString::fromUtf8(name));
                g_variant_iter_free(iter);
                g_variant_unref(names);
            }
            if (nameAvailable(bus.get(), sourceRegistryName, activatable, cancellable.get())) {
                if (nameAvailable(bus.get(), calendarFactoryName, activatable, cancellable.get()))
                    calendarAnswer = Presence::present;
                if (nameAvailable(bus.get(), addressBookFactoryName, activatable, cancellable.get()))
                    contactAnswer = Presence::present;
            }
        } else {
            qCInfo(lcEds).noquote() << "No session bus" << (error ? error.text() : QString());
        }
        qCInfo(lcEds) << "Calendars" << (calendarAnswer == Presence::present ? "present" : "absent")
                      << "contacts" << (contactAnswer == Presence::present ? "present" : "absent");
        settle(calendarAnswer, contactAnswer);
    }

    // Publishes the presence, with the empty snapshot that goes with it until the stores are read.
    void settle(Presence calendarAnswer, Presence contactAnswer)
    {
        QList<std::function<void(Presence, Presence)>> answers;
        {
            std::lock_guard lock(mutex);
            calendars = calendarAnswer;
            contacts = contactAnswer;
            answers = std::exchange(waiting, {});
            Snapshot empty;
            // Absent stores have nothing to load.
            empty.calendarsLoaded = calendarAnswer == Presence::absent;
            empty.cardsLoaded = contactAnswer == Presence::absent;
            unread = std::make_shared<const Snapshot>(std::move(empty));
        }
        changed.notify_all();
        for (const auto& answer : answers)
            answer(calendarAnswer, contactAnswer);
    }

    // On the reader's thread.
    void tellFailuresChanged()
    {
        QList<std::function<void()>> followers;
        {
            std::lock_guard lock(mutex);
            followers = failureFollowers;
        }
        for (const auto& follower : followers)
            follower();
    }

    // After the presence, once something wants the stores read.
    void load(const std::shared_ptr<Worker>& self)
    {
        Presence calendarAnswer = Presence::unknown;
        Presence contactAnswer = Presence::unknown;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                return;
            calendarAnswer = calendars;
            contactAnswer = contacts;
        }
        if (calendarAnswer != Presence::present && contactAnswer != Presence::present)
            return;
        const auto make = reinterpret_cast<MakeEdsReader>(module.entry(makeEdsReaderEntry));
        if (!make) {
            // Said why in the log: from now on the stores are as good as absent.
            settle(Presence::absent, Presence::absent);
            return;
        }
        // The reader may still report while it ends, after the service object went.
        std::unique_ptr<EdsReader> made(make(calendarAnswer == Presence::present,
                                             contactAnswer == Presence::present,
                                             [weak = std::weak_ptr<Worker>(self)] {
                                                 if (const std::shared_ptr<Worker> worker = weak.lock())
                                                     worker->tellFailuresChanged();
                                             }));
        {
            std::lock_guard lock(mutex);
            // Made while the service went: it goes here.
            if (stopping)
                return;
            reader = std::move(made);
        }
        changed.notify_all();
    }
};

EvolutionDataServer::EvolutionDataServer(const QString& module)
    : d(std::make_shared<Worker>(module))
{
}

EvolutionDataServer::~EvolutionDataServer()
{
    std::unique_ptr<EdsReader> reader = d->stop();
    if (m_thread && !m_thread->stop(stopWait))
        qCInfo(lcEds)
            << "The service thread was left inside a call on the bus; it ends with that call or with "
               "the process";
    // The reader's own threads end before the rest goes.
    reader.reset();
}

void EvolutionDataServer::start() const
{
    std::call_once(m_started, [this] {
        m_thread = std::make_unique<GLibLoopThread>("morvane-eds-bus");
        m_thread->post([worker = d] { worker->checkPresence(); });
    });
}

EdsReader* EvolutionDataServer::wantReader() const
{
    start();
    std::lock_guard lock(d->mutex);
    if (!std::exchange(d->loadWanted, true))
        m_thread->post([worker = d] { worker->load(worker); });
    return d->reader.get();
}

EvolutionDataServer::Presence EvolutionDataServer::calendarPresence() const
{
    std::lock_guard lock(d->mutex);
    return d->calendars;
}

EvolutionDataServer::Presence EvolutionDataServer::contactPresence() const
{
    std::lock_guard lock(d->mutex);
    return d->contacts;
}

void EvolutionDataServer::whenPresenceKnown(std::function<void(Presence, Presence)> answer)
{
    start();
    std::unique_lock lock(d->mutex);
    if (d->calendars == Presence::unknown) {
        d->waiting.append(std::move(answer));
        return;
    }
    const Presence calendars = d->calendars;
    const Presence contacts = d->contacts;
    lock.unlock();
    answer(calendars, contacts);
}

std::optional<QString> EvolutionDataServer::calendarFailure() const
{
    std::lock_guard lock(d->mutex);
    const QString failure = d->reader ? d->reader->snapshot()->calendarsFailure : QString();
    return failure.isEmpty() ? std::nullopt : std::optional(failure);
}

std::optional<QString> EvolutionDataServer::contactFailure() const
{
    std::lock_guard lock(d->mutex);
    const QString failure = d->reader ? d->reader->snapshot()->cardsFailure : QString();
    return failure.isEmpty() ? std::nullopt : std::optional(failure);
}

std::optional<QString> EvolutionDataServer::calendarProblem() const
{
    const std::shared_ptr<const Snapshot> read = lastReading();
    return read ? problemText(read->calendarsFailure, read->failedCalendars, QLatin1StringView("calendar"))
                : std::nullopt;
}

std::optional<QString> EvolutionDataServer::contactProblem() const
{
    const std::shared_ptr<const Snapshot> read = lastReading();
    return read ? problemText(read->cardsFailure, read->failedBooks, QLatin1StringView("address book"))
                : std::nullopt;
}

std::shared_ptr<const EvolutionDataServer::Snapshot> EvolutionDataServer::lastReading() const
{
    std::lock_guard lock(d->mutex);
    return d->reader ? d->reader->snapshot() : nullptr;
}

void EvolutionDataServer::followFailures(std::function<void()> changed)
{
    std::lock_guard lock(d->mutex);
    if (!d->stopping)
        d->failureFollowers.append(std::move(changed));
}

std::shared_ptr<const EvolutionDataServer::Snapshot> EvolutionDataServer::snapshot() const
{
    noteMainThreadRead("The calendars and address books were read on the main thread");
    if (EdsReader* reader = wantReader())
        return reader->snapshot();
    std::lock_guard lock(d->mutex);
    return d->unread;
}

void EvolutionDataServer::prepare() const
{
    wantReader();
}

bool EvolutionDataServer::waitUntilLoaded(Load load, std::chrono::milliseconds wait) const
{
    noteMainThreadRead("The calendars and address books were waited for on the main thread");
    const auto deadline = std::chrono::steady_clock::now() + wait;
    wantReader();
    EdsReader* reader = nullptr;
    {
        std::unique_lock lock(d->mutex);
        const auto settled = [&] {
            const bool loaded =
                d->unread->calendarsLoaded && (load == Load::calendars || d->unread->cardsLoaded);
            return d->reader || loaded || d->stopping;
        };
        if (!d->changed.wait_until(lock, deadline, settled))
            return false;
        if (!d->reader)
            return !d->stopping;
        reader = d->reader.get();
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return reader->waitUntilLoaded(load, std::max(left, std::chrono::milliseconds(0)));
}

} // namespace morvane
