#pragma once

#include <QByteArray>
#include <QString>

namespace morvane {

class RecordFolder;

// Replaces and removes the files of the record folder, each in one step. A file is replaced atomically:
// the new content is written to a new temporary file in the folder, flushed to disk and renamed over
// the record's name, so a reader on another machine sees the old record or the new one, never half of
// one, and a link under that name is replaced itself, never written through. The temporary is named
// after this machine and removed, or let finish, when the process exits while it is written
// (RecordTemporaries).
class RecordFileWriter {
public:
    // Writes in the folder while it is open.
    explicit RecordFileWriter(const RecordFolder& folder);

    void replace(const QString& recordName, const QByteArray& bytes);
    // Removes the entry under the record's name itself, a link included, never what it points to.
    // Throws unknownItem when there is none.
    void remove(const QString& recordName);

private:
    const RecordFolder& m_folder;
};

} // namespace morvane
