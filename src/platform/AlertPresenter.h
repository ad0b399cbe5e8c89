#pragma once

#include <QString>
#include <QStringList>

namespace morvane {

// A modal message with buttons, as the system words it.
struct Alert {
    enum class Style { informational, warning, critical };
    Style style = Style::informational;
    QString messageText;
    QString informativeText;
    // Button titles, the default first. Empty: one "OK" button.
    QStringList buttons;

    bool operator==(const Alert&) const = default;
};

// Shows alerts and waits for the user's answer. The desktop implementation uses a message box; tests
// answer with a scripted double, since a real modal box would stop them.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // The index of the button the user chose in alert.buttons (0 when there is only "OK"). An alert
    // dismissed without a choice (the application is quitting) answers what Escape chooses: the only
    // button, or a "Cancel" button; otherwise -1, so that nothing is done on the user's behalf.
    virtual int present(const Alert& alert) = 0;
};

} // namespace morvane
