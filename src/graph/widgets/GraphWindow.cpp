#include "GraphWindow.h"

#include "GraphCanvas.h"
#include "GraphToolbar.h"
#include "desktop/AppearanceService.h"
#include "desktop/FrameCentring.h"
#include "graph/GraphViewModel.h"

#include <QScreen>
#include <QVBoxLayout>

namespace morvane {

namespace {

const QSize smallestSize(760, 520);

} // namespace

GraphWindow::GraphWindow(GraphViewModel& model, const AppearanceService* appearance, QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint)
    , m_model(model)
    , m_canvas(new GraphCanvas(model, appearance, this))
    , m_toolbar(new GraphToolbar(model,
                                 {[this] { m_canvas->zoomBy(GraphViewport::zoomOutStep); },
                                  [this] { m_canvas->zoomBy(GraphViewport::zoomInStep); },
                                  [this] { m_canvas->resetViewport(); },
                                  [this] {
                                      emit reloadRequested();
                                      m_model.commands().reloadGraph();
                                  }},
                                 appearance, this))
{
    setWindowTitle(QStringLiteral("Morvane Graph"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_canvas, 1);
    setMinimumSize(smallestSize);
    resize(920, 640);
    connect(m_canvas, &GraphCanvas::closeRequested, this, &QWidget::hide);
    if (appearance)
        appearance->repaintOnChange(this);
}

void GraphWindow::present()
{
    emit willShow();
    m_model.activeContext().capture();
    fitToScreen();
    centreFrameOnScreen(*this);
    show();
    // Again now that it is mapped: the frame is known only once the window manager has framed it.
    fitToScreen();
    centreFrameOnScreen(*this);
    raise();
    activateWindow();
    m_canvas->setFocus(Qt::ActiveWindowFocusReason);
}

// A screen smaller than the window (a small display, or a large scale factor) still shows all of it,
// title bar and toolbar included.
void GraphWindow::fitToScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    // A hidden window has no frame: the one it had stands in for the one it will get.
    const QSize frameExtra = isVisible() ? frameGeometry().size() - size() : m_frameExtra;
    const QSize room = screen->availableGeometry().size() - frameExtra;
    setMinimumSize(smallestSize.boundedTo(room));
    resize(size().boundedTo(room));
}

void GraphWindow::hideEvent(QHideEvent* event)
{
    m_frameExtra = frameGeometry().size() - size();
    QWidget::hideEvent(event);
}

void GraphWindow::toggle()
{
    if (isVisible())
        hide();
    else
        present();
}

} // namespace morvane
