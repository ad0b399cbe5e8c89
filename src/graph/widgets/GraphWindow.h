#pragma once

#include <QWidget>

namespace morvane {

class AppearanceService;
class GraphCanvas;
class GraphToolbar;
class GraphViewModel;

// The "Morvane Graph" window: the toolbar over the graph canvas in a 920 × 640 window that can
// shrink to 760 × 520, or further on a screen smaller than that. It is made once and kept: closing only hides
// it, and every present() centres it again and brings it forward with the keyboard on the canvas.
class GraphWindow : public QWidget {
    Q_OBJECT
public:
    // The model and the appearance service outlive the window.
    GraphWindow(GraphViewModel& model, const AppearanceService* appearance, QWidget* parent = nullptr);

    // Looks at what the user has in front of them, then shows, centres and activates the window.
    void present();
    // The graph shortcut: hides the window when it is visible, else presents it.
    void toggle();

    GraphCanvas* canvas() const { return m_canvas; }
    GraphToolbar* toolbar() const { return m_toolbar; }

signals:
    // At the start of every present(); the application starts a sync there when sync is on.
    void willShow();
    // By the toolbar's reload button, before the graph loads again; the application syncs there.
    void reloadRequested();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void fitToScreen();

    GraphViewModel& m_model;
    GraphCanvas* m_canvas;
    GraphToolbar* m_toolbar;
    // What the window manager's frame adds to the window, as last seen while it was on screen.
    QSize m_frameExtra;
};

} // namespace morvane
