#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class QPushButton;

namespace morvane {

class AppearanceService;

// The confirmation card both windows lay over their content before a link is deleted or a relation
// removed: the window dims, a card names what goes and offers Cancel and Delete. Escape cancels;
// Return and Command-Backspace (Ctrl or Super) delete. Clicks on the dimmed backdrop do nothing and
// reach nothing beneath.
//
// It keeps no state: the caller shows it while something is pending, and the caller's closures clear
// that and remove the overlay. They run inside the overlay's own event handlers, so remove it with
// deleteLater().
class DeleteConfirmationOverlay : public QWidget {
    Q_OBJECT
public:
    // Covers the whole of `window` and follows its size. Without an appearance service it draws in
    // the light colours.
    DeleteConfirmationOverlay(QString heading, QString title, QString detail, std::function<void()> onConfirm,
                              std::function<void()> onCancel, const AppearanceService* appearance,
                              QWidget* window);

    // The cards of the two confirmations, over `window`.
    static DeleteConfirmationOverlay* forLink(const QString& title, std::function<void()> onConfirm,
                                              std::function<void()> onCancel,
                                              const AppearanceService* appearance, QWidget* window);
    static DeleteConfirmationOverlay* forRelation(const QString& pair, std::function<void()> onConfirm,
                                                  std::function<void()> onCancel,
                                                  const AppearanceService* appearance, QWidget* window);

    // Keeps `overlay` in step with what waits: when something does and there is no card yet, `make`
    // builds one and it is shown; when nothing waits, the card goes.
    static void keepInStep(QPointer<DeleteConfirmationOverlay>& overlay, bool waiting,
                           const std::function<DeleteConfirmationOverlay*()>& make);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    enum class KeyAction { none, confirm, cancel };
    static KeyAction actionFor(const QKeyEvent& event);
    QRect cardRect() const;
    void placeButtons();

    QString m_heading;
    QString m_title;
    QString m_detail;
    std::function<void()> m_onConfirm;
    std::function<void()> m_onCancel;
    const AppearanceService* m_appearance;
    QPushButton* m_cancelButton;
    QPushButton* m_deleteButton;
};

} // namespace morvane
