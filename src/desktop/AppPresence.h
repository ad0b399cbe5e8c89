#pragma once

#include <QFuture>
#include <QObject>
#include <QString>

class QWidget;

namespace morvane {

// Whether the application shows itself among the desktop's running programs (the task bar and the
// pager) and how one of its windows is brought forward. "Hidden" is carried by every top-level
// window of ours, including those made later.
class AppPresence : public QObject {
    Q_OBJECT
public:
    explicit AppPresence(QObject* parent = nullptr)
        : QObject(parent)
    {
    }

    virtual bool isHidden() const = 0;
    // False when the change could not be made.
    virtual bool setHidden(bool hidden) = 0;
    // Brings the application forward without naming a window: its active window, if it has one.
    virtual void activate() = 0;
    // Shows, raises and activates the window, asking the window manager for it too.
    virtual void activateWindow(QWidget& window) = 0;
    // Whether the session's compositor keeps the shown window out of the user's sight though it is
    // mapped (sway leaves a window behind the full-screen one that was in front when it was mapped).
    // False where the session cannot tell: whether the window has the keyboard says nothing of it.
    // Answered at once where the compositor cannot be asked; else later, from another thread, as the
    // compositor is another process (the awaiting caller resumes on its own thread).
    virtual QFuture<bool> isCovered(const QWidget& window) const = 0;
    // The launch being handled hands over its desktop activation token (a startup id): windows
    // brought forward until it is cleared carry it, so that the desktop lets them in front. Clearing
    // it (an empty token) tells the desktop that the launch is done.
    virtual void setActivationToken(const QString& token) = 0;

signals:
    // Each time the application comes to the front (one of its windows becomes active).
    void becameActive();
};

// Puts the application in the wanted presence; unless forced, nothing happens when it already is.
// Showing the application again also brings it forward. False when the change was refused.
bool applyDockVisibility(AppPresence& presence, bool hidden, bool force);

// Brings the window forward; when the application is to stay hidden, its hidden state is applied
// again on the next turn of the event loop, after the window manager has seen the activation (unless
// the window is gone by then; the presence must outlive the window).
void activateForWindow(AppPresence& presence, QWidget& window, bool hideDockIcon);

} // namespace morvane
