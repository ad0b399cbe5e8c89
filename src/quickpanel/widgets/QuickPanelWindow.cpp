#include "QuickPanelWindow.h"

#include "desktop/FrameCentring.h"
#include "desktop/X11Display.h"
#include "desktop/X11FrameHints.h"
#include "desktop/X11KeyInputWarmUp.h"

#include <QBackingStore>
#include <QCloseEvent>
#include <QVBoxLayout>

namespace morvane {

QuickPanelWindow::QuickPanelWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Morvane"));
    setFixedSize(contentSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void QuickPanelWindow::setContent(QWidget* content)
{
    delete m_content;
    m_content = content;
    layout()->addWidget(content);
}

void QuickPanelWindow::uncoverBeforeShow()
{
    if (!isVisible())
        leaveFullScreenInFrontOf(*this);
}

void QuickPanelWindow::placeShown()
{
    centreFrameOnScreen(*this, CentringScreen::pointer);
    showOnAllDesktops(*this);
}

// Before the window is mapped: the window manager reads the frame's hints when it takes the window on,
// which it does afresh at every mapping.
void QuickPanelWindow::showEvent(QShowEvent* event)
{
    requestCloseOnlyFrame(*this);
    QWidget::showEvent(event);
}

// The window is painted into an image as large as itself, which on X11 is a segment of memory shared
// with the server: kept while the window is hidden, it is memory the tray application holds all day for
// nothing. A one-pixel image takes its place (too small for a shared segment); the next show finds the
// size changed and paints the whole window into a new one, as a show does anyway. An empty size would
// not do: the X11 backing store reads (-1, -1) as 65535 × 65535 and asks for a 16 GB segment. The
// native window stays: its properties, set before each map, and the key router on it are kept.
void QuickPanelWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    if (QBackingStore* store = backingStore())
        store->resize(QSize(1, 1));
}

void QuickPanelWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_keyInputReady) {
        m_keyInputReady = true;
        readComposeTableBeforeFirstKey(*this);
    }
    QWidget::changeEvent(event);
}

void QuickPanelWindow::closeEvent(QCloseEvent* event)
{
    // Only the window manager's close (the close button) is turned into hiding. The application closes
    // every window when it quits, and a refusal here would stop it from quitting.
    if (!event->spontaneous())
        return QWidget::closeEvent(event);
    event->ignore();
    emit closeRequested();
}

} // namespace morvane
