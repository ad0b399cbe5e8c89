#pragma once

#include "files/FileMatchCandidate.h"
#include "model/CapturedContext.h"
#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QFuture>
#include <QList>
#include <QString>

#include <optional>

namespace morvane {

class LinkStore;

// The library's answers about what the user has in front of them: the saved link for a captured
// item, and the saved file a selected one may be a copy of. They go through the store like its other
// operations, on its thread and in its order, their file work on the file pool. Files are followed
// through renames, moves and copies by the evidence the library keeps, and a lookup may write better
// evidence back: never announced, as the user changed nothing. Cheap to make where it is needed.
class ContextLookups {
public:
    // The store outlives this object.
    explicit ContextLookups(LinkStore& store);

    QFuture<std::optional<LinkItem>> findLink(CapturedContext context);
    // By the locator alone: as captured, then as the parser writes it, then any naming the same note.
    QFuture<std::optional<LinkItem>> linkForLocator(CapturedContext context);
    // The saved file links a selected file may be, strongest first; none for anything but a file (or a
    // PDF page) with identity and a URL.
    QFuture<QList<FileMatchCandidate>> fileMatchCandidates(CapturedContext context);
    // Records the selected file as this machine's copy of the saved one; no new link is made.
    QFuture<LinkItem> useFileMatch(FileMatchCandidate candidate);
    // The status text for a selected file; nothing for a context that is not a file.
    QFuture<std::optional<QString>> finderSelectionMatches(CapturedContext context);
    // Lays the captured evidence over the item's; writes only when something changed.
    QFuture<LinkItem> updateFileIdentity(LinkItem item, FileIdentity captured);
    // The first file or folder link whose bookmark leads to the captured file.
    QFuture<std::optional<LinkItem>> linkResolvingBookmark(FileIdentity captured);

private:
    LinkStore& m_store;
};

} // namespace morvane
