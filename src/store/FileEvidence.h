#pragma once

#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QString>

namespace morvane {

class LibraryWrites;

// Writing a link's file evidence also points its url at the file's current place. A PDF page link
// keeps its page there: without it every refresh would turn the page link into a plain file link.
class FileEvidence {
public:
    // The url the link should have once its file is at path: the file URL, with the link's PDF page.
    static QString urlFollowingFile(const LinkItem& item, const QString& path);

    // Rewrites the link's file evidence and url (updated now), as one change.
    static void write(LibraryWrites& writes, const LinkItem& item, const FileIdentity& identity);

    // The evidence stored on the link, when it has both a bookmark and a last known path.
    static std::optional<FileIdentity> storedIdentity(const LinkItem& item);
};

} // namespace morvane
