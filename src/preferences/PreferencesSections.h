#pragma once

#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace morvane {

class AccessibilitySession;
class AlertPresenter;
class AppSettings;
class DatabaseActionStatus;
class DesktopServices;
class FileDialogPresenter;
class GlobalShortcutsPortal;
class HotkeySettings;
class KnownRootsStore;
class LibraryMaintenance;
class PreferencesTheme;
class PrivacyAccess;
class QuickPanelTipStore;
class SyncScheduler;
class Updater;

// What every page of the Preferences window works with. The pages only show the parts of the
// settings model they need and forward each control to them; the panels and alerts go through the
// seams, so tests answer them.
struct SectionContext {
    AppSettings& settings;
    HotkeySettings& hotkeys;
    PrivacyAccess& access;
    SyncScheduler& sync;
    DatabaseActionStatus& databaseAction;
    LibraryMaintenance& maintenance;
    QuickPanelTipStore& quickPanelTips;
    Updater& updater;
    KnownRootsStore& knownRoots;
    PreferencesTheme& theme;
    FileDialogPresenter& fileDialogs;
    AlertPresenter& alerts;
    DesktopServices* desktop = nullptr;            // for the support and policy links
    AccessibilitySession* accessibility = nullptr; // nothing: not available here
    // Asks whether to erase everything; the window owns the question.
    std::function<void()> confirmEraseAllData;
    GlobalShortcutsPortal* shortcutsPortal = nullptr; // nothing: no Wayland session
};

QWidget* makeGeneralSection(SectionContext& context);
QWidget* makeCalendarAccessGroup(SectionContext& context);
QWidget* makeContactAccessGroup(SectionContext& context);
QWidget* makeKeyboardSection(SectionContext& context);
QWidget* makeSyncSection(SectionContext& context);
QWidget* makeFilesSection(SectionContext& context);
QWidget* makeUpdatesSection(SectionContext& context);
QWidget* makeAboutSection(SectionContext& context);
QWidget* makeAdvancedSection(SectionContext& context);

// Runs the folder chooser and adds the chosen folders to the known roots, saving after each one;
// the Files page and the repair card share it.
void addKnownRootFolders(SectionContext& context);
// The rows of the known roots, each with its remove button; the empty text when there are none.
QWidget* makeKnownRootList(SectionContext& context, const QString& emptyText, const QString& removeTooltip);

} // namespace morvane
