#pragma once

#include <QWidget>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace morvane {

class AppearanceService;
class QuickPanelNewLink;
class QuickPanelViewModel;

// The panel's form for typing a link by hand: title, locator, notes and tags on one card, with Cancel
// and Save. The fields edit the view model's add fields as they are typed, and show what the model
// writes there (entering the form clears them) without disturbing a cursor whose text is already
// the model's. Return saves from every field; Shift-Return starts a new line in the notes, which
// grow up to three lines before they scroll.
class QuickPanelAddForm : public QWidget {
    Q_OBJECT
public:
    QuickPanelAddForm(QuickPanelViewModel& model, const AppearanceService* appearance,
                      QWidget* parent = nullptr);

    // Puts the cursor in the title field.
    void focusFirstField();

    QLineEdit* titleField() const { return m_title; }
    QLineEdit* locatorField() const { return m_locator; }
    QPlainTextEdit* notesField() const { return m_notes; }
    QLineEdit* tagsField() const { return m_tags; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* addLineField(const QString& placeholder, void (QuickPanelNewLink::*write)(const QString&));
    void showModelText();
    void fitNotesHeight();
    void save();

    QuickPanelViewModel& m_model;
    QLineEdit* m_title;
    QLineEdit* m_locator;
    QPlainTextEdit* m_notes;
    QLineEdit* m_tags;
};

} // namespace morvane
