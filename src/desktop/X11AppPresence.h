#pragma once

#include "desktop/AppPresence.h"
#include "platform/CompositorWindows.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

namespace morvane {

// The presence on an X11 desktop: hidden windows carry _NET_WM_STATE_SKIP_TASKBAR and
// _NET_WM_STATE_SKIP_PAGER (set on the property before a window is mapped, asked of the window
// manager once it is). Off X11 (the offscreen platform of the tests) the state is only remembered.
// A window brought forward carries the time of the user action that asked for it in
// _NET_WM_USER_TIME, and the launch's startup id in _NET_STARTUP_ID, which is what a window manager
// with focus-stealing prevention weighs; the id is taken off the windows again once the launch is
// done, so that a later show is not taken for that launch's.
class X11AppPresence : public AppPresence {
    Q_OBJECT
public:
    // compositor: asked whether a shown window is in sight.
    explicit X11AppPresence(std::unique_ptr<CompositorWindows> compositor, QObject* parent = nullptr);

    bool isHidden() const override { return m_hidden; }
    bool setHidden(bool hidden) override;
    void activate() override;
    void activateWindow(QWidget& window) override;
    QFuture<bool> isCovered(const QWidget& window) const override;
    void setActivationToken(const QString& token) override;

protected:
    // Windows shown later take the current state just before they are mapped.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The server time to stamp an activation with: the launch's, the global shortcut's press, else now.
    std::uint32_t activationTime() const;

    std::unique_ptr<CompositorWindows> m_compositor;
    bool m_hidden = false;
    QString m_activationToken;
    QList<QPointer<QWidget>> m_carryingToken; // the windows brought forward with it
};

} // namespace morvane
