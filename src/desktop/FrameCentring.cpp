#include "FrameCentring.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace morvane {

namespace {

constexpr std::chrono::milliseconds frameCheckInterval{20};
constexpr int frameChecks = 100;

bool isFramed(const QWidget& window)
{
    return window.frameGeometry() != window.geometry();
}

const QScreen* targetScreen(const QWidget& window, CentringScreen which)
{
    const QScreen* screen =
        which == CentringScreen::pointer ? QGuiApplication::screenAt(QCursor::pos()) : window.screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}

void moveFrameToCentre(QWidget& window, CentringScreen which)
{
    const QScreen* screen = targetScreen(window, which);
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    QRect frame = window.frameGeometry();
    frame.moveCenter(room.center());
    // A frame larger than the screen keeps its title bar and top left corner on it, where the user can
    // reach the window's controls; what overflows goes off the bottom and right.
    frame.moveTopLeft(QPoint(std::max(frame.left(), room.left()), std::max(frame.top(), room.top())));
    window.move(frame.topLeft());
}

// Lives on the window while its frame is awaited; one at a time, gone once the frame is known, the
// checks ran out or the window was hidden.
class FrameWatch : public QObject {
public:
    FrameWatch(QWidget& window, CentringScreen screen)
        : QObject(&window)
        , m_window(window)
        , m_screen(screen)
    {
        setObjectName(name());
        window.installEventFilter(this);
        m_timer.setInterval(frameCheckInterval);
        connect(&m_timer, &QTimer::timeout, this, &FrameWatch::check);
        m_timer.start();
    }
    static QString name() { return QStringLiteral("frameWatch"); }

    void restart(CentringScreen screen)
    {
        m_screen = screen;
        m_checksLeft = frameChecks;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_window && event->type() == QEvent::Hide)
            finish();
        return QObject::eventFilter(watched, event);
    }

private:
    void check()
    {
        if (isFramed(m_window)) {
            moveFrameToCentre(m_window, m_screen);
            finish();
        } else if (--m_checksLeft <= 0) {
            finish();
        }
    }

    void finish()
    {
        setObjectName({}); // a later placement starts a watch of its own
        m_timer.stop();
        m_window.removeEventFilter(this);
        deleteLater();
    }

    QWidget& m_window;
    CentringScreen m_screen;
    QTimer m_timer;
    int m_checksLeft = frameChecks;
};

} // namespace

void centreFrameOnScreen(QWidget& window, CentringScreen screen)
{
    moveFrameToCentre(window, screen);
    // Only a window system that frames windows ever reports a frame.
    if (!window.isVisible() || isFramed(window) || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    if (auto* watch = window.findChild<FrameWatch*>(FrameWatch::name(), Qt::FindDirectChildrenOnly))
        watch->restart(screen);
    else
        new FrameWatch(window, screen);
}

} // namespace morvane
