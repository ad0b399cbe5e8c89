#include "FileRepairError.h"

namespace morvane {

FileRepairError::FileRepairError(Kind kind, QString fileName, QString message)
    : Error(std::move(message))
    , m_kind(kind)
    , m_fileName(std::move(fileName))
{
}

FileRepairError FileRepairError::unreadableCandidate(const QString& fileName)
{
    return FileRepairError(Kind::unreadableCandidate, fileName,
                           QStringLiteral("The chosen file could not be read: ") + fileName);
}

} // namespace morvane
