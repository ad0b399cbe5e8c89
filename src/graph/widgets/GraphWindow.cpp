#include "GraphWindow.h"

#include "GraphCanvas.h"
#include "GraphToolbar.h"
#include "desktop/AppearanceService.h"
#include "desktop/FrameCentring.h"
#include "graph/GraphViewModel.h"

#include <QVBoxLayout>

namespace morvane {

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
                                      if (m_onReloadRequested)
                                          m_onReloadRequested();
                                      m_model.reloadGraph();
                                  }},
                                 appearance, this))
{
    setWindowTitle(QStringLiteral("Morvane Graph"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_canvas, 1);
    setMinimumSize(760, 520);
    resize(920, 640);
    m_canvas->setOnClose([this] { hide(); });
    if (appearance)
        appearance->repaintOnChange(this);
}

void GraphWindow::present()
{
    if (m_onWillShow)
        m_onWillShow();
    m_model.captureActiveContext();
    centreFrameOnScreen(*this);
    show();
    // Again now that it is mapped: the frame is known only once the window manager has framed it.
    centreFrameOnScreen(*this);
    raise();
    activateWindow();
    m_canvas->setFocus(Qt::ActiveWindowFocusReason);
}

void GraphWindow::toggle()
{
    if (isVisible())
        hide();
    else
        present();
}

} // namespace morvane
