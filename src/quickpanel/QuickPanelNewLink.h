#pragma once

#include <QObject>
#include <QString>

#include <QCoroTask>

namespace morvane {

class LinkStore;
class QuickPanelSearch;
class QuickPanelState;

// The link typed into the panel's add form: its four fields, and the save that stores it and goes
// back to searching. Main thread only.
class QuickPanelNewLink : public QObject {
    Q_OBJECT
public:
    // Everything given outlives this.
    QuickPanelNewLink(QuickPanelState& state, QuickPanelSearch& search, LinkStore& store,
                      QObject* parent = nullptr);

    // Each change is announced by the signal of the same name.
    const QString& title() const { return m_title; }
    const QString& locator() const { return m_locator; }
    const QString& notes() const { return m_notes; }
    const QString& tags() const { return m_tags; }
    // True while the save runs; a second save meanwhile is ignored.
    bool isSaving() const { return m_saving; }

    // The form's bindings.
    void setTitle(const QString& text);
    void setLocator(const QString& text);
    void setNotes(const QString& text);
    void setTags(const QString& text);

    // Shows the add form with empty fields and no message.
    void begin();
    // Stores the typed link, then back to search mode with an empty query; a failure becomes the
    // message and the form stays.
    void save();

signals:
    void titleChanged();
    void locatorChanged();
    void notesChanged();
    void tagsChanged();
    void savingChanged();

private:
    QCoro::Task<> saveTask();

    QuickPanelState& m_state;
    QuickPanelSearch& m_search;
    LinkStore& m_store;
    QString m_title;
    QString m_locator;
    QString m_notes;
    QString m_tags;
    bool m_saving = false;
};

} // namespace morvane
