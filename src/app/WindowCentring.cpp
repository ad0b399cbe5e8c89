#include "WindowCentring.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace morvane {

namespace {

bool isFramed(const QWidget& window)
{
    return window.frameGeometry() != window.geometry();
}

void moveFrameToCentre(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

// Waits, on the window, for the move the window manager makes when it frames the window.
class CentreOnceFramed : public QObject {
public:
    explicit CentreOnceFramed(QWidget& window)
        : QObject(&window)
        , m_window(window)
    {
        setObjectName(name());
        window.installEventFilter(this);
    }
    static QString name() { return QStringLiteral("centreOnceFramed"); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_window) {
            if (event->type() == QEvent::Hide) {
                finish();
            } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
                       isFramed(m_window)) {
                finish();
                moveFrameToCentre(m_window);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void finish()
    {
        m_window.removeEventFilter(this);
        deleteLater();
    }

    QWidget& m_window;
};

} // namespace

void centreOnScreen(QWidget& window)
{
    moveFrameToCentre(window);
    // Only a window system that frames windows ever reports a frame.
    if (window.isVisible() && !isFramed(window) && QGuiApplication::platformName() == QLatin1String("xcb") &&
        !window.findChild<CentreOnceFramed*>(CentreOnceFramed::name(), Qt::FindDirectChildrenOnly))
        new CentreOnceFramed(window);
}

} // namespace morvane
