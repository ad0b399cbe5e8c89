#pragma once

#include "desktop/AppPresence.h"
#include "platform/CompositorWindows.h"

#include <QObject>

#include <memory>

namespace morvane {

// The presence on an X11 desktop: hidden windows carry _NET_WM_STATE_SKIP_TASKBAR and
// _NET_WM_STATE_SKIP_PAGER (set on the property before a window is mapped, asked of the window
// manager once it is). Off X11 (the offscreen platform of the tests) the state is only remembered.
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

protected:
    // Windows shown later take the current state just before they are mapped.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<CompositorWindows> m_compositor;
    bool m_hidden = false;
};

} // namespace morvane
