#pragma once

#include "foundation/Error.h"

#include <QString>

namespace morvane {

// Relinking a file link to a file that cannot be identified: nothing is written, and the user is
// told which file it was instead of seeing the link reported as relinked.
class FileRepairError : public Error {
public:
    enum class Kind { unreadableCandidate };

    static FileRepairError unreadableCandidate(const QString& fileName);

    Kind kind() const { return m_kind; }
    const QString& fileName() const { return m_fileName; }

private:
    FileRepairError(Kind kind, QString fileName, QString message);
    Kind m_kind;
    QString m_fileName;
};

} // namespace morvane
