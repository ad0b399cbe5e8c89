#pragma once

#include "capture/CaptureReason.h"
#include "platform/FileManagerBus.h"

#include <QString>

#include <memory>
#include <optional>

namespace morvane {

class AccessibilityElements;
class FileIdentityService;
class SessionBus;

// The file managers whose window folder and selection can be read. Nautilus says its folder over
// org.freedesktop.FileManager1; Thunar, Caja and PCManFM show it in their location entry (Caja's even
// while its path bar stands in front of it); Nemo only in its path bar, one button a folder. Their
// views show the selection on the accessibility bus, except Thunar's icon view and PCManFM's (its
// icons have no names), whose status bar alone names the one selected item. PCManFM, a GTK 2
// program, is on the bus only when started with the bridge module loaded (GTK_MODULES).
enum class FileManager { nautilus, thunar, nemo, caja, pcmanfm };

// Whether a status bar's text names one selected item, as these file managers' status bars do (the
// icon views of Thunar and PCManFM name it there alone).
bool statusNamesSelectedItem(const QString& text);

// The file manager an application identifier names (in any letter case); nothing for any other.
std::optional<FileManager> fileManagerOfIdentifier(const QString& identifier);
QString fileManagerName(FileManager manager);

// Reads the first item selected in a file manager window, with its identity evidence. Blocks on
// other applications for a bounded time: never on the main thread.
class FileManagerReader {
public:
    FileManagerReader(std::shared_ptr<const SessionBus> bus,
                      std::shared_ptr<AccessibilityElements> accessibility,
                      std::shared_ptr<const FileIdentityService> fileIdentityService);

    // Nothing when nothing is selected (with the reason, when the window could be read), when the
    // folder cannot be told, or when the item is gone.
    WindowReading read(FileManager manager, const FileManagerWindow& window) const;

private:
    struct Seen {
        bool windowFound = false;
        int tables = 0; // Thunar's side pane is one, its list view another, its icon views none
        bool statusBar = false;
        std::optional<QString> location; // the location entry's text, or the path bar's folder
        std::optional<QString> selectedName;
    };
    Seen readWindow(FileManager manager, const FileManagerWindow& window) const;
    static WindowReading nothingSelectedIn(FileManager manager, const Seen& seen);

    std::shared_ptr<const SessionBus> m_bus;
    std::shared_ptr<AccessibilityElements> m_accessibility;
    std::shared_ptr<const FileIdentityService> m_fileIdentityService;
};

} // namespace morvane
