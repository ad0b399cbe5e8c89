#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;

namespace morvane {

class QuickPanelViewModel;

// A plain content for the panel: the search field bound to the model's query, the rows' titles with
// the selection, and the model's message or pending confirmation as a line of text.
class QuickPanelWindowContent : public QWidget {
public:
    explicit QuickPanelWindowContent(QuickPanelViewModel& model, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_search; }

private:
    void showRows();
    void showStatus();

    QuickPanelViewModel& m_model;
    QLineEdit* m_search;
    QListWidget* m_rows;
    QLabel* m_status;
};

} // namespace morvane
