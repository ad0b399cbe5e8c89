#pragma once

#include <QWidget>

namespace morvane {

// The quick panel's window: a fixed 720 × 480 tool window titled "Morvane" that floats above other
// windows and shows on every desktop, in a frame that offers closing and moving only. Closing it only
// asks for it to be hidden; it is kept for the life of the application.
class QuickPanelWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize contentSize{720, 480};

    explicit QuickPanelWindow(QWidget* parent = nullptr);

    // The panel's content fills the window; the window takes it over.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

    // Before the window is shown: on a Wayland session, a full-screen X11 window in front is asked to
    // leave full screen, which the panel could not show over (see leaveFullScreenInFrontOf).
    void uncoverBeforeShow();

    // After the window was shown: centres its frame on the screen under the pointer (again once the
    // window manager has framed it) and puts it on every desktop.
    void placeShown();

signals:
    // The close button, in place of closing.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // What the window was painted into is given back while it is hidden.
    void hideEvent(QHideEvent* event) override;
    // The first activation readies the key handling the first key would otherwise wait for.
    void changeEvent(QEvent* event) override;

private:
    QWidget* m_content = nullptr;
    bool m_keyInputReady = false;
};

} // namespace morvane
