#pragma once

#include "model/DeletedRecord.h"
#include "model/LibraryReset.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"
#include "sync/CloudRecord.h"

#include <QString>

#include <optional>
#include <utility>

namespace morvane {

// How the library's values are written into records and read back. The writers fill a record that
// was fetched (or newly made) and overwrite every field they own; the readers answer nothing when a
// required field is missing, of another type or unparsable, and such a record is skipped.
namespace RecordFormats {

inline const QString linkType = QStringLiteral("Link");
inline const QString relationType = QStringLiteral("LinkRelation");
inline const QString deletedRecordType = QStringLiteral("DeletedRecord");
inline const QString libraryResetType = QStringLiteral("LibraryReset");
inline const QString libraryResetName = QStringLiteral("library-reset-marker");

// Names: a link's upper-case UUID; a relation's pair key (either direction gives the same name); a
// tombstone's type and name joined by "_", with ":" and "/" made "_".
QString linkRecordName(const LinkItem& link);
QString relationRecordName(const LinkRelation& relation);
QString tombstoneRecordName(const DeletedRecord& record);

// Whether a name has the one form this system gives a link's record (its upper-case UUID) or a
// relation's (the pair key). A deletion is synced only for those two types with a name of that form:
// any other could name a record that is not its to remove, such as the reset marker.
bool isLinkRecordName(const QString& name);
bool isRelationRecordName(const QString& name);
// The two ids a name joins with "_", in its order, whether or not it is the pair key; none for any
// other name.
std::optional<std::pair<QUuid, QUuid>> relationRecordIds(const QString& name);
bool isSyncedDeletion(const DeletedRecord& deleted);

// The fields of a link every machine shares, in one text that sorts the same way on every machine:
// all the record's fields but the machine's own last known path, tags as a set. Two copies with equal
// texts need no push; of two copies updated at the same time the greater text wins everywhere.
QString sharedContent(const LinkItem& link);
// Of two copies of a link, whether the first wins: the later update, or at the same time the greater
// shared content, so that every machine picks the same copy and none pushes its own back for ever.
bool linkWins(const LinkItem& first, const LinkItem& second);

// Per-machine file evidence (bookmark, resource and volume identifiers) and the computed relation
// count never leave the machine. Empty tags and missing optional values clear their fields.
void writeLinkFields(const LinkItem& link, CloudRecord& record);
void writeRelationFields(const LinkRelation& relation, CloudRecord& record);
void writeDeletedRecordFields(const DeletedRecord& deleted, CloudRecord& record);
void writeLibraryResetFields(const LibraryReset& reset, CloudRecord& record);

std::optional<LinkItem> linkItem(const CloudRecord& record);
// The relation's own id is not sent: it is the record name's UUID when that is one, else a new one.
std::optional<LinkRelation> linkRelation(const CloudRecord& record);
std::optional<DeletedRecord> deletedRecord(const CloudRecord& record);
std::optional<LibraryReset> libraryReset(const CloudRecord& record);

} // namespace RecordFormats

} // namespace morvane
