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
    // It confirms an act that cannot be undone (an erase, a replacing import): its "Cancel" button is
    // the default and Escape's, so a Return pressed out of habit does nothing; the act itself needs
    // a click or its own key.
    bool destructive = false;

    bool operator==(const Alert&) const = default;

    // The buttons Return and Escape choose, as indexes into buttons (0 for the lone "OK"); -1 for none.
    int defaultButton() const { return destructive ? cancelButton() : 0; }
    int escapeButton() const { return buttons.size() <= 1 ? 0 : cancelButton(); }

private:
    int cancelButton() const { return int(buttons.indexOf(QStringLiteral("Cancel"))); }
};

// Shows alerts and waits for the user's answer. The desktop implementation uses a message box; tests
// answer with a scripted double, since a real modal box would stop them.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // The index of the button the user chose in alert.buttons (0 when there is only "OK"). An alert
    // dismissed without a choice (the application is quitting) answers alert.escapeButton(): the
    // only button, or a "Cancel" button; otherwise -1, so that nothing is done on the user's behalf.
    virtual int present(const Alert& alert) = 0;
};

} // namespace morvane
