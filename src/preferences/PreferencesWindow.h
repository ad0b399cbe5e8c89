#pragma once

#include "PreferenceSection.h"
#include "PreferencesSections.h"

#include <QWidget>

#include <map>
#include <memory>

class QLabel;
class QLayout;
class QVBoxLayout;

namespace morvane {

class AppearanceService;
class GlobalShortcutsPortal;
class GlyphView;
class PreferencesStore;
class SidebarButton;
class UserDefaults;

// What the Preferences window shows and acts through.
struct PreferencesWindowServices {
    PreferencesStore& preferences;
    Updater& updater;
    std::shared_ptr<UserDefaults> defaults; // the window keeps its own known-roots list over them
    std::shared_ptr<FileDialogPresenter> fileDialogs;
    std::shared_ptr<AlertPresenter> alerts;
    std::shared_ptr<DesktopServices> desktop;            // may be null
    std::shared_ptr<AccessibilitySession> accessibility; // may be null
    const AppearanceService* appearance = nullptr;
    std::shared_ptr<GlobalShortcutsPortal> shortcutsPortal; // may be null
};

// The Preferences window: a sidebar of the seven pages and a scrolling pane with the chosen page's
// header and content, 760 × 620 (less on a screen without that much room), not resizable. It lives
// until the application quits, so closing and reopening it keeps the chosen page and what the pages
// were showing.
class PreferencesWindow : public QWidget {
    Q_OBJECT
public:
    explicit PreferencesWindow(PreferencesWindowServices services, QWidget* parent = nullptr);
    ~PreferencesWindow() override;

    PreferenceSection selectedSection() const { return m_selected; }
    void selectSection(PreferenceSection section);
    // The page widget of a section, for the window's owner and tests.
    QWidget* sectionPage(PreferenceSection section) const;
    // Asks "Erase all Morvane data?" and erases only on "Erase Everything".
    void confirmEraseAllData();

protected:
    void showEvent(QShowEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    std::unique_ptr<SectionContext> makeContext();
    QWidget* makeSidebar();
    QWidget* makeDetail();
    QLayout* makeHeader();
    void addPages(QVBoxLayout& column);

    PreferencesWindowServices m_services;
    std::unique_ptr<KnownRootsStore> m_knownRoots;
    PreferencesTheme* m_theme;
    std::unique_ptr<SectionContext> m_context;
    PreferenceSection m_selected = PreferenceSection::general;
    std::map<PreferenceSection, QWidget*> m_pages;
    std::map<PreferenceSection, SidebarButton*> m_sidebarButtons;
    GlyphView* m_headerGlyph = nullptr;
    QLabel* m_headerTitle = nullptr;
    QLabel* m_headerSubtitle = nullptr;
};

} // namespace morvane
