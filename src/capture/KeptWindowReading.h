#pragma once

#include "platform/AccessibilityApi.h"
#include "platform/Workspace.h"

#include <QFuture>
#include <QPromise>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace morvane {

// What a provider read of its application's window on the accessibility thread, kept for its next
// capture on the main thread, which never waits for another application. A capture takes it only
// for the window it was read from: another window of the same application (an editor, a second main
// window), or of another run of it given the closed window's id, is read afresh. What the window
// shows may need completing from elsewhere (the card or the event it names, found in the desktop's
// stores): resolve does that off the main thread, and what it answers is kept.
//
// A kept answer stands only for what the window shows now: once a later reading saw the window show
// something else, it is set aside until that one is resolved; and once the user may have worked in
// the window (distrust(), when the panel comes up over it), it stands only when a reading started
// since saw the window show the same thing.
template <class Shown, class Kept = Shown> class KeptWindowReading {
public:
    // Inside an accessibility job: what the process's window shows.
    using Read = std::function<std::optional<Shown>(const AccessibilityElements& api, qint64 processId)>;
    // On the accessibility thread: what to keep of what the window shows, answered on any thread but
    // the main one.
    using Resolve = std::function<QFuture<std::optional<Kept>>(std::optional<Shown> shown)>;

    KeptWindowReading(std::shared_ptr<Workspace> workspace,
                      std::shared_ptr<AccessibilityElements> accessibility, QString identifier, Read read,
                      Resolve resolve = keepAsShown())
        : m_workspace(std::move(workspace))
        , m_accessibility(std::move(accessibility))
        , m_identifier(std::move(identifier))
        , m_read(std::move(read))
        , m_resolve(std::move(resolve))
    {
    }

    // Reads the window a capture reads (the one in front, or the one behind this application's own),
    // when it is the application's, and keeps the answer for it unless a reading started later was
    // kept first. Ends once it is kept or set aside, or once the reading failed (what was kept before
    // stays).
    QFuture<void> refresh()
    {
        const std::optional<DesktopWindow> window = applicationWindow();
        if (!window)
            return QtFuture::makeReadyFuture();
        quint64 started = 0;
        {
            const std::lock_guard lock(m_shared->mutex);
            started = ++m_shared->started;
            m_shared->readingWindow = keyOf(*window);
        }
        // The returned future is the caller's: a continuation of our own on it would be replaced by
        // the caller's (a future takes one), so the reading's end is told here.
        auto done = std::make_shared<ReadingEnd>(m_shared, started);
        QFuture<void> finished = done->promise.future();
        m_accessibility
            ->run([read = m_read, processId = window->application.processId](AccessibilityElements& api) {
                return read(std::as_const(api), processId);
            })
            .then(QtFuture::Launch::Sync,
                  [shared = m_shared, resolve = m_resolve, key = keyOf(*window), started,
                   done](std::optional<Shown> shown) {
                      {
                          // What the window shows is known now, before it is resolved: a kept answer
                          // for something else stops standing for it.
                          const std::lock_guard lock(shared->mutex);
                          if (!shared->seen || shared->seen->started < started)
                              shared->seen = Seen{key, started, shown};
                      }
                      resolve(shown)
                          .then(QtFuture::Launch::Sync,
                                [shared, key, started, shown, done](std::optional<Kept> kept) {
                                    {
                                        const std::lock_guard lock(shared->mutex);
                                        // Resolving takes its own time: a reading started
                                        // earlier may end after a later one, and is older news.
                                        if (!shared->kept || shared->kept->started < started)
                                            shared->kept = Entry{key, started, shown, std::move(kept)};
                                    }
                                    done->finish(); // its continuations take the lock
                                })
                          .onFailed([done] { done->finish(); })
                          .onCanceled([done] { done->finish(); });
                  })
            .onFailed([done] { done->finish(); })
            .onCanceled([done] { done->finish(); });
        return finished;
    }

    // The user may have worked in the window since it was last read: what was kept stands only once a
    // reading started after this saw the window show the same thing.
    void distrust()
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->trustedFrom = m_shared->started + 1;
    }

    // Whether the window a capture reads now is being read and nothing kept stands for it: what it
    // shows is not known until that reading ends.
    bool isReading() const
    {
        const std::optional<DesktopWindow> window = applicationWindow();
        const std::lock_guard lock(m_shared->mutex);
        return window && m_shared->readingWindow == keyOf(*window) &&
               (!m_shared->kept || !stands(*m_shared, *m_shared->kept, keyOf(*window)));
    }

    // The answer kept for the window a capture reads now; nothing when that is not the application's,
    // when none was read for it, or when the read found nothing.
    std::optional<Kept> reading() const
    {
        const std::optional<DesktopWindow> window = applicationWindow();
        const std::lock_guard lock(m_shared->mutex);
        if (!window || !m_shared->kept || !stands(*m_shared, *m_shared->kept, keyOf(*window)))
            return std::nullopt;
        return m_shared->kept->reading;
    }

private:
    // A window, and the process it belongs to.
    using WindowKey = std::pair<quint32, qint64>;
    struct Entry {
        WindowKey window;
        quint64 started = 0; // which reading it was, counted in the order they started
        std::optional<Shown> shown;
        std::optional<Kept> reading;
    };
    // What a reading saw the window show, before it was resolved.
    struct Seen {
        WindowKey window;
        quint64 started = 0;
        std::optional<Shown> shown;
    };
    struct Shared {
        std::mutex mutex;
        std::optional<Entry> kept;
        std::optional<Seen> seen;               // by the latest reading started that saw anything
        std::optional<WindowKey> readingWindow; // of the reading started last, until it ends
        quint64 started = 0;
        quint64 trustedFrom = 0; // readings started before it may show what the window no longer does
    };
    // Whether what was kept stands for what the window with this key shows now: the latest reading of
    // it saw the same thing, and it was read since the window was last distrusted. Under the lock.
    static bool stands(const Shared& shared, const Entry& kept, const WindowKey& key)
    {
        if (kept.window != key)
            return false;
        if (shared.seen && shared.seen->window == key && shared.seen->started > kept.started)
            return shared.seen->started >= shared.trustedFrom && shared.seen->shown == kept.shown;
        return kept.started >= shared.trustedFrom;
    }

    // The end of one reading, whatever it gave, or if it was dropped: it is no longer on its way
    // (unless a later one is), and its future finishes.
    struct ReadingEnd {
        std::shared_ptr<Shared> shared;
        quint64 started = 0;
        QPromise<void> promise;
        std::atomic<bool> ended = false;

        ReadingEnd(std::shared_ptr<Shared> readings, quint64 reading)
            : shared(std::move(readings))
            , started(reading)
        {
            promise.start();
        }
        ~ReadingEnd() { finish(); }
        void finish()
        {
            if (ended.exchange(true))
                return;
            {
                const std::lock_guard lock(shared->mutex);
                if (shared->started == started)
                    shared->readingWindow.reset();
            }
            promise.finish();
        }
    };

    static Resolve keepAsShown()
    {
        return [](std::optional<Shown> shown) { return QtFuture::makeReadyFuture(std::move(shown)); };
    }

    static WindowKey keyOf(const DesktopWindow& window)
    {
        return {window.windowId, window.application.processId};
    }

    std::optional<DesktopWindow> applicationWindow() const
    {
        std::optional<DesktopWindow> window = m_workspace->captureWindow();
        return window && window->application.identifier == m_identifier ? window : std::nullopt;
    }

    std::shared_ptr<Workspace> m_workspace;
    std::shared_ptr<AccessibilityElements> m_accessibility;
    QString m_identifier;
    Read m_read;
    Resolve m_resolve;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

} // namespace morvane
