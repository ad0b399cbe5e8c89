#pragma once

#include <QPointer>

#include <memory>

class QMessageBox;

namespace morvane {

class UserDefaults;

// The window that tells a user whose desktop shows no tray what the tray icon would have given and
// how to reach it without one. Shown once per run at most, and never again once the user ticked
// "Don't show again" (a setting of this machine only: the library's export and sync carry no
// settings).
class TrayMissingNotice {
public:
    static inline const char* const dismissedKey = "linux.trayMissingNoticeDismissed";

    explicit TrayMissingNotice(std::shared_ptr<UserDefaults> defaults);
    ~TrayMissingNotice();

    // Shows the window without waiting for it, unless it was dismissed for good or is already up.
    // Returns whether it is shown.
    bool show();
    // The window while it is shown.
    QMessageBox* window() const { return m_box; }

private:
    std::shared_ptr<UserDefaults> m_defaults;
    QPointer<QMessageBox> m_box;
};

} // namespace morvane
