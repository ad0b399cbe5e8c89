#pragma once

#include <QString>

#include <optional>

namespace morvane {

class SessionBus;

// The X window of a file manager, as the window layer reports it.
struct FileManagerWindow {
    qint64 processId = 0;
    QString objectPath; // the window's _GTK_WINDOW_OBJECT_PATH
    QString title;
};

// The folder the window shows, as an absolute path, from the file manager's
// org.freedesktop.FileManager1 interface (its list of open windows and their locations), asked by the
// well-known name when the window's process owns it, else on that process's own connections. Nothing
// when the process does not answer there, when the window is not listed, when it shows no local
// folder, or when its tabs show several folders and its title names none of them alone. Blocks for
// at most a few bus time-outs: never on the main thread.
std::optional<QString> fileManagerWindowFolder(const SessionBus& bus, const FileManagerWindow& window);

} // namespace morvane
