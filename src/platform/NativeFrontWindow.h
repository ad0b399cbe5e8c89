#pragma once

#include <QFuture>
#include <QString>

#include <memory>
#include <optional>

namespace morvane {

class AccessibilityApi;
class AccessibilityElements;
class AccessibilitySession;

// A window of a native Wayland application, which the X display cannot see, as the accessibility bus
// describes it.
struct NativeWindow {
    qint64 processId = 0;
    QString applicationName; // the application's name on the bus ("Firefox", "foot")
    QString title;

    bool operator==(const NativeWindow&) const = default;
};

// The window the user works in, found on the accessibility bus: the frame in state active. Toolkits
// (Qt, GTK 3 and 4, Firefox) keep that state on the focused window whatever the window system, so it
// answers where _NET_ACTIVE_WINDOW cannot. The desktop's own shell is no such window: while GNOME
// Shell's overview holds the keyboard, nothing is in front.
class NativeFrontWindow {
public:
    explicit NativeFrontWindow(std::shared_ptr<AccessibilityApi> accessibility);

    // Looked up on the accessibility thread; nothing when the bus is off or no frame is active (one
    // of this process's own windows, or an application without accessibility in front).
    QFuture<std::optional<NativeWindow>> lookUp() const;
    bool isReadable() const;
    // What announces that the window in front may have changed.
    AccessibilitySession* accessibility() const;

    // Inside an accessibility job.
    static std::optional<NativeWindow> find(const AccessibilityElements& accessibility);

private:
    std::shared_ptr<AccessibilityApi> m_accessibility;
};

} // namespace morvane
