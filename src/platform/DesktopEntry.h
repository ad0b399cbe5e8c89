#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

// Reading and amending the desktop entries Morvane writes for the user (its URL handler and its
// autostart entry), as the desktop entry format lays them out.
namespace desktop_entry {

// The key-value lines of the [Desktop Entry] group, values as written.
QHash<QString, QString> keys(const QByteArray& contents);

// The program an Exec value starts: its first word, the value's escapes and the quoting undone.
QString program(const QString& execValue);

// Whether an entry is one Morvane wrote: named Morvane and starting a program named morvane by its
// absolute path (an entry that starts "morvane" through the PATH is the user's own).
bool isMorvaneEntry(const QHash<QString, QString>& keys);

// The Exec value that starts the program with this path: quoted as desktop entries require when the
// path holds a reserved character, with "%" doubled and the value's own escapes.
QString execValue(const QString& executablePath);

// The entry with the Exec value of its [Desktop Entry] group replaced, every other line kept.
QByteArray withExec(const QByteArray& contents, const QString& execValue);

// The file's contents, or nothing when it cannot be read.
std::optional<QByteArray> read(const QString& path);
// Puts the file in place atomically; false when it could not.
bool write(const QString& path, const QByteArray& contents);

// $XDG_DATA_DIRS (by default /usr/local/share and /usr/share), where the system's entries are.
QStringList systemDataDirectories();

} // namespace desktop_entry

} // namespace morvane
