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
        relationEndMissing,      // a relation names a link that the import would not have
    };

    static LibraryImportError locatorDoesNotMatchType(const QString& title, LinkType type);
    // inLibraryToo: whether the library was consulted as well (a merge) or only the file (a replace).
    static LibraryImportError relationEndMissing(const QUuid& missingLinkID, bool inLibraryToo);

    Kind kind() const { return m_kind; }

private:
    LibraryImportError(Kind kind, QString description);

    Kind m_kind;
};

} // namespace morvane
