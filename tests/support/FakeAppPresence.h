#pragma once

#include "desktop/AppPresence.h"

#include <QApplication>
#include <QStringList>
#include <QWidget>

namespace morvane::test {

// Records changes and activations; refuseChanges makes every change fail.
class FakeAppPresence : public AppPresence {
public:
    bool isHidden() const override { return hidden; }
    bool setHidden(bool wanted) override
    {
        ++setCalls;
        hidden = refuseChanges ? hidden : wanted;
        return !refuseChanges;
    }
    void activate() override { ++activations; }
    // As the desktop does: shown, in front, with the keyboard.
    void activateWindow(QWidget& window) override
    {
        window.show();
        activatedWithToken.append({&window, current});
        // The offscreen platform ignores activation requests; the application's notion is what counts.
        QApplication::setActiveWindow(&window);
    }
    // The toolkit's notion, unless the desktop kept the keyboard on another window.
    bool hasKeyboard(const QWidget& window) const override
    {
        return window.isActiveWindow() && !keyboardElsewhere;
    }
    // Every token set and cleared, in order; the windows activated with the token then in force.
    void setActivationToken(const QString& token) override
    {
        tokens.append(token);
        current = token;
    }
    // The application comes to the front.
    void bringToFront() { emit becameActive(); }

    bool hidden = false, refuseChanges = false;
    // A compositor that leaves the panel behind a full-screen window: mapped, never given the keyboard.
    bool keyboardElsewhere = false;
    int setCalls = 0, activations = 0;
    QStringList tokens;
    QList<std::pair<QWidget*, QString>> activatedWithToken;

private:
    QString current;
};

} // namespace morvane::test
