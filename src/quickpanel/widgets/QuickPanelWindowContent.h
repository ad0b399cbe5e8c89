#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;

namespace morvane {

class AppearanceService;
class QuickPanelViewModel;

// What the panel's content asks of its owner.
struct QuickPanelContentActions {
    std::function<void()> activate;
    std::function<void()> close;
    std::function<void(QWidget* over, QPoint at)> showActionMenu;
    // The panel's key map, for keys no child took; true when it used the key.
    std::function<bool(QKeyEvent*)> handleKey;
    std::function<void()> openSettings;
    std::function<void()> showAbout;
};

// A plain content for the panel: the search field bound to the model's query, the rows' titles with
// the selection, and the model's message or pending confirmation as a line of text.
class QuickPanelWindowContent : public QWidget {
public:
    QuickPanelWindowContent(QuickPanelViewModel& model, const AppearanceService* appearance,
                            QWidget* parent = nullptr);

    void setActions(QuickPanelContentActions actions) { m_actions = std::move(actions); }
    // As the panel shows: the cursor goes to the search field.
    void prepareForShow();

    QLineEdit* searchField() const { return m_search; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showRows();
    void showStatus();

    QuickPanelViewModel& m_model;
    QuickPanelContentActions m_actions;
    QLineEdit* m_search;
    QListWidget* m_rows;
    QLabel* m_status;
};

} // namespace morvane
