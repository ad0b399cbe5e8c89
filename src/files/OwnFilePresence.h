#pragma once

#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QString>

#include <optional>

namespace morvane {

class FileIdentityService;

// Whether a file link's own file is on this computer, apart from a file the user has selected. The
// lookups that follow a file by its content and name (a copy synced from another computer) must not
// take an ordinary copy for the saved file while the saved file itself is still here.
//
// The link's own file is looked for only where the link says it is: its last known path and the
// path its bookmark records (no search), never in the Trash. It is the link's when it has the link's
// stored identifiers (the same file, however edited since); a link without identifiers (imported,
// or synced from another computer) is compared by its stored size and fingerprint instead, and only
// then is a file hashed. Reads the file system only; callable from any thread.
class OwnFilePresence {
public:
    explicit OwnFilePresence(const FileIdentityService& identity);

    // selected: the identity captured for the selected file, selectedPath its local path.
    bool isHere(const LinkItem& link, const FileIdentity& selected,
                const std::optional<QString>& selectedPath) const;

private:
    bool holdsOwnFile(const QString& path, const LinkItem& link, const FileIdentity& selected) const;

    const FileIdentityService& m_identity;
};

} // namespace morvane
