#include "LibraryImportError.h"
#include "foundation/Uuid.h"

namespace morvane {

namespace {
// Titles come from the file; a very long one would swamp the message.
QString shortTitle(const QString& title)
{
    constexpr qsizetype limit = 80;
    if (title.size() <= limit)
        return title;
    qsizetype cut = limit;
    if (title.at(cut - 1).isHighSurrogate())
        --cut;
    return title.left(cut) + u'…';
}
} // namespace

LibraryImportError::LibraryImportError(Kind kind, QString description)
    : Error(std::move(description))
    , m_kind(kind)
{
}

LibraryImportError LibraryImportError::locatorDoesNotMatchType(const QString& title, LinkType type)
{
    return LibraryImportError(Kind::locatorDoesNotMatchType,
                              QStringLiteral("The link “") + shortTitle(title) +
                                  QStringLiteral("” in the file has an address that does not belong to "
                                                 "its type “") +
                                  rawValue(type) + QStringLiteral("”."));
}

LibraryImportError LibraryImportError::relationIDReused(const QUuid& relationID, bool inLibrary)
{
    const QString id = uuidString(relationID);
    return LibraryImportError(
        Kind::relationIDReused,
        inLibrary ? QStringLiteral("A relation in the file reuses the id ") + id +
                        QStringLiteral(" of another relation in the library. Nothing was imported.")
                  : QStringLiteral("Two relations in the file share the id ") + id +
                        QStringLiteral(". Nothing was imported."));
}

} // namespace morvane
