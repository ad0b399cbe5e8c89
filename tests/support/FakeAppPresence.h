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
    // As the desktop does: shown, in front, with the keyboard; unless it never activates our windows.
    void activateWindow(QWidget& window) override
    {
        window.show();
        activatedWithToken.append({&window, current});
        // The offscreen platform ignores activation requests; the application's notion is what counts.
        if (activates)
            QApplication::setActiveWindow(&window);
    }
    // Every token set and cleared, in order; the windows activated with the token then in force.
    void setActivationToken(const QString& token) override
    {
        tokens.append(token);
        current = token;
    }
    bool isCovered(const QWidget& window) const override { return covered && window.isVisible(); }
    // The application comes to the front.
    void bringToFront() { emit becameActive(); }

    bool hidden = false, refuseChanges = false;
    // A compositor that shows our windows without giving them the keyboard.
    bool activates = true;
    // A compositor that keeps our shown windows behind a full-screen one.
    bool covered = false;
    int setCalls = 0, activations = 0;
    QStringList tokens;
    QList<std::pair<QWidget*, QString>> activatedWithToken;

private:
    QString current;
};

} // namespace morvane::test
