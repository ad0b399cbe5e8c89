#pragma once

#include "capture/CaptureReason.h"
#include "platform/Workspace.h"

#include <QFuture>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace morvane {

// What a provider read of one window off the main thread, kept until its next capture. The capture
// takes it only while the window is the same one of the same program (the display may give a closed
// window's id to the next program's window, titled alike) with the same title (another document,
// folder or message retitles it), so it never shows what an earlier window showed. Reads overlap (the
// monitor's poll, the panel's own capture): the one started last is kept, however late an earlier
// one ends, so a slow read never puts back a page the viewer has left. Once the user may have worked
// in the window without retitling it (another file selected in the same folder), distrust() sets the
// answer kept aside until a read started after it has ended.
class WindowCaptureCache {
public:
    using Read = std::function<WindowReading()>;

    // Runs read on a worker thread and keeps its answer for the window. read may block on other
    // applications; it must hold what it uses, not the provider, which may be gone when it runs.
    QFuture<void> refresh(const DesktopWindow& window, Read read);
    // The answer kept for the window as it is now; nothing when none was read for it.
    WindowReading capture(const DesktopWindow& window) const;
    // The user may have worked in the window since it was last read (the panel comes up over it): no
    // answer is given for it until a read started after this has ended.
    void distrust();

private:
    struct Kept {
        quint32 windowId = 0;
        RunningApplication application;
        QString title;
        WindowReading reading;
        quint64 generation = 0;
    };
    struct Shared {
        std::mutex mutex;
        std::optional<Kept> kept;
        quint64 started = 0;
        quint64 trustedFrom = 0; // reads started before it may show what the window no longer does
    };
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

} // namespace morvane
