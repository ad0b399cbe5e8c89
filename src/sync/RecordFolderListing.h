#pragma once

#include "sync/RecordFileStamp.h"
#include "sync/RecordNames.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <memory>
#include <optional>

namespace morvane {

class RecordFileReader;
class RecordFolder;

// The names of the records in the folder, listed again only when the folder changed: adding, removing
// or renaming a file moves the folder's stamp; a change to a file in place does not, and is found by
// that file's own stamp. Only regular files with a record file's name are listed; any other entry under
// such a name is passed over and logged.
class RecordFolderListing {
public:
    // Lists the folder while it is open; what the reader keeps of files no longer listed is dropped.
    RecordFolderListing(const RecordFolder& folder, RecordFileReader& reader);

    // Every record name with a regular file in the folder, sorted. The same list stands for the folder
    // while nothing was added, removed or renamed.
    std::shared_ptr<const RecordNames> names();
    void forget();

private:
    std::shared_ptr<const RecordNames> list() const;

    const RecordFolder& m_folder;
    RecordFileReader& m_reader;
    std::shared_ptr<const RecordNames> m_names;
    std::optional<RecordFileStamp> m_stamp;
};

} // namespace morvane
