#pragma once

#include "desktop/AppPresence.h"

#include <QApplication>
#include <QPromise>
#include <QStringList>
#include <QWidget>

#include <memory>

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
    QFuture<bool> isCovered(const QWidget& window) const override
    {
        ++coveredQuestions;
        if (!answersLater)
            return QtFuture::makeReadyFuture(covered && window.isVisible());
        m_question = std::make_shared<QPromise<bool>>();
        m_question->start();
        return m_question->future();
    }
    // The compositor answers the question it holds (answersLater); the asker hears of it through the
    // event loop.
    void answer(bool isCovered)
    {
        const std::shared_ptr<QPromise<bool>> question = std::exchange(m_question, nullptr);
        question->addResult(isCovered);
        question->finish();
    }
    // The application comes to the front.
    void bringToFront() { emit becameActive(); }

    bool hidden = false, refuseChanges = false;
    // A compositor that shows our windows without giving them the keyboard.
    bool activates = true;
    // A compositor that keeps our shown windows behind a full-screen one.
    bool covered = false;
    // A compositor that answers whether a window is covered only when answer() is called.
    bool answersLater = false;
    int setCalls = 0, activations = 0;
    mutable int coveredQuestions = 0;
    QStringList tokens;
    QList<std::pair<QWidget*, QString>> activatedWithToken;

private:
    QString current;
    mutable std::shared_ptr<QPromise<bool>> m_question;
};

} // namespace morvane::test
