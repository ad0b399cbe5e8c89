#pragma once

#include "platform/AccessibilityApi.h"
#include "platform/Workspace.h"

#include <QFuture>
#include <QPromise>

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
        auto done = std::make_shared<QPromise<void>>();
        done->start();
        QFuture<void> finished = done->future();
        quint64 started = 0;
        {
            const std::lock_guard lock(m_shared->mutex);
            started = ++m_shared->started;
            m_shared->readingWindow = keyOf(*window);
        }
        // Whatever the reading gave, or if it was dropped, it is no longer on its way (unless a later
        // one is).
        const auto ended = [shared = m_shared, started] {
            const std::lock_guard lock(shared->mutex);
            if (shared->started == started)
                shared->readingWindow.reset();
        };
        finished.then(QtFuture::Launch::Sync, ended).onCanceled(ended);
        m_accessibility
            ->run([read = m_read, processId = window->application.processId](AccessibilityElements& api) {
                return read(std::as_const(api), processId);
            })
            .then(QtFuture::Launch::Sync,
                  [shared = m_shared, resolve = m_resolve, key = keyOf(*window), started,
                   done](std::optional<Shown> shown) {
                      resolve(std::move(shown))
                          .then(QtFuture::Launch::Sync,
                                [shared, key, started, done](std::optional<Kept> kept) {
                                    {
                                        const std::lock_guard lock(shared->mutex);
                                        // Resolving takes its own time: a reading started
                                        // earlier may end after a later one, and is older news.
                                        if (!shared->kept || shared->kept->started < started)
                                            shared->kept = Entry{key, started, std::move(kept)};
                                    }
                                    done->finish(); // its continuations take the lock
                                })
                          .onFailed([done] { done->finish(); });
                  })
            .onFailed([done] { done->finish(); });
        return finished;
    }

    // Whether the window a capture reads now is being read and nothing was kept for it yet: what it
    // shows is not known until that reading ends.
    bool isReading() const
    {
        const std::optional<DesktopWindow> window = applicationWindow();
        const std::lock_guard lock(m_shared->mutex);
        return window && m_shared->readingWindow == keyOf(*window) &&
               (!m_shared->kept || m_shared->kept->window != keyOf(*window));
    }

    // The answer kept for the window a capture reads now; nothing when that is not the application's,
    // when none was read for it, or when the read found nothing.
    std::optional<Kept> reading() const
    {
        const std::optional<DesktopWindow> window = applicationWindow();
        const std::lock_guard lock(m_shared->mutex);
        if (!window || !m_shared->kept || m_shared->kept->window != keyOf(*window))
            return std::nullopt;
        return m_shared->kept->reading;
    }

private:
    // A window, and the process it belongs to.
    using WindowKey = std::pair<quint32, qint64>;
    struct Entry {
        WindowKey window;
        quint64 started = 0; // which reading it was, counted in the order they started
        std::optional<Kept> reading;
    };
    struct Shared {
        std::mutex mutex;
        std::optional<Entry> kept;
        std::optional<WindowKey> readingWindow; // of the reading started last, until it ends
        quint64 started = 0;
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
