#pragma once

#include <QByteArray>

#include <string_view>

namespace morvane {

// The temporary files the record writer makes in the shared record folder before renaming them over a
// record's file. Each is named ".morvane-<owner>-<random>.tmp", the owner a digest of this machine's
// identity and the user's, so that a machine only ever removes temporaries of its own making: another
// machine may still be writing its own.
//
// A write is noted while its temporary exists. When the process exits (the application quits while a
// sync pass is writing on its own thread), the writes under way are given a moment to end, and what
// they leave is removed; nothing new is begun then. A temporary a crash left is removed by the next
// listing of the folder that this machine's user makes.
namespace RecordTemporaries {

// A new name for a temporary of ours: hidden (a listing passes over names that start with "."), and
// unlike any record's file name.
QByteArray newName();
// Whether the file name is that of a temporary this machine's user made.
bool isOurs(std::string_view fileName);

// Notes the temporary at the path from before it is made until it is renamed or removed.
class Writing {
public:
    explicit Writing(QByteArray path);
    ~Writing();
    Writing(const Writing&) = delete;
    Writing& operator=(const Writing&) = delete;
    // False once the process is exiting: the temporary must not be made.
    bool admitted() const { return m_admitted; }

private:
    QByteArray m_path;
    bool m_admitted;
};

} // namespace RecordTemporaries

} // namespace morvane
