#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>

class QKeyEvent;
class QLineEdit;

namespace morvane {

class AppearanceService;
class DeleteConfirmationOverlay;
class QuickPanelAddForm;
class QuickPanelBand;
class QuickPanelGlyph;
class QuickPanelModeBadge;
class QuickPanelResultList;
class QuickPanelHintLine;
class QuickPanelText;
class QuickPanelViewModel;

// What the panel's owner does for the view. Any of them may be left empty.
struct QuickPanelViewActions {
    // The owner's activate step for the selected row (a double click, the row menu's first item):
    // in relation mode the relate step, otherwise the activation, hiding the panel as they answer.
    std::function<void()> activate;
    // Hides the panel. No control of the view calls it: Escape belongs to the key map.
    std::function<void()> close;
    // Opens the selected row's action menu over a widget at a point of it. The view leaves this to
    // the owner's key handling.
    std::function<void(QWidget* over, QPoint at)> showActionMenu;
    // The panel's key map, for keys that no child of the view took; true when it used the key.
    std::function<bool(QKeyEvent*)> handleKey;
    // The header menu's "Settings..." and "About Morvane".
    std::function<void()> openSettings;
    std::function<void()> showAbout;
};

// Everything the quick panel shows, in one widget: the header with the mode and the search field,
// then the add form or the instruction banner, the result list and the footer, the message bar, and
// the confirmation cards over all of it. It keeps no state of the panel: every text comes from the
// view model and every control makes one call on it or on the owner's actions.
class QuickPanelView : public QWidget {
    Q_OBJECT
public:
    QuickPanelView(QuickPanelViewModel& model, const AppearanceService* appearance,
                   QuickPanelViewActions actions = {}, QWidget* parent = nullptr);
    ~QuickPanelView() override;

    // Called as the panel shows: the cursor goes to the search field, or to the add form's title when
    // the panel reopens on an unfinished form.
    void prepareForShow();

    QLineEdit* searchField() const { return m_searchField; }
    QuickPanelResultList* resultList() const { return m_list; }
    QuickPanelAddForm* addForm() const { return m_addForm; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildSearchField();
    QWidget* buildBanner();
    QWidget* buildFooter();
    QWidget* buildMessageBar();

    void queryChanged();
    void modeChanged();
    void showMode();
    void showFooter();
    void showMessage();
    void syncOverlays();
    void focusSearchField();

    QuickPanelViewModel& m_model;
    const AppearanceService* m_appearance;
    const QuickPanelViewActions m_actions;

    QuickPanelModeBadge* m_modeBadge = nullptr;
    QuickPanelText* m_modeSubtitle = nullptr;
    QLineEdit* m_searchField = nullptr;
    QuickPanelAddForm* m_addForm = nullptr;
    QWidget* m_addTail = nullptr;
    QWidget* m_listBody = nullptr;
    QWidget* m_banner = nullptr;
    QuickPanelText* m_bannerText = nullptr;
    QuickPanelResultList* m_list = nullptr;
    QWidget* m_linkCount = nullptr;
    QuickPanelText* m_linkCountText = nullptr;
    QuickPanelHintLine* m_footerHint = nullptr;
    QWidget* m_messageBar = nullptr;
    QuickPanelText* m_messageText = nullptr;
    QPointer<DeleteConfirmationOverlay> m_deleteOverlay;
    QPointer<DeleteConfirmationOverlay> m_relationOverlay;
};

} // namespace morvane
