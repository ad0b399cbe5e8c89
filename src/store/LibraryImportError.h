#pragma once

#include "foundation/Error.h"
#include "model/LinkType.h"

#include <QString>
#include <QUuid>

namespace morvane {

// A backup that decodes but cannot be imported as it stands. It is refused before anything is
// written, so the library stays exactly as it was.
class LibraryImportError : public Error {
public:
    enum class Kind {
        locatorDoesNotMatchType, // a link's address uses a scheme that its type never has
        relationIDReused,        // one relation id stands for two different pairs of links
    };

    static LibraryImportError locatorDoesNotMatchType(const QString& title, LinkType type);
    // inLibrary: the other relation is the library's (a merge) rather than another record of the file.
    static LibraryImportError relationIDReused(const QUuid& relationID, bool inLibrary);

    Kind kind() const { return m_kind; }

private:
    LibraryImportError(Kind kind, QString description);

    Kind m_kind;
};

} // namespace morvane
