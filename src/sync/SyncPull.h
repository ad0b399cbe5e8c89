#pragma once

#include "store/SyncedLibrary.h"
#include "sync/SyncScope.h"

#include <QCoroTask>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <utility>

namespace morvane {

class LinkStore;
class RemoteRecords;
struct SyncRemoteState;
struct SyncScope;

// Takes the record store's deletions, links and relations into the library: those the library lacks or
// holds older, each deletion and each batch of links or relations one store job. Announces a change
// when the library changed. With a scope, only the records of its keys are looked at.
// Links whose fields a decision compares are read again through the record store, `perPart` at a time,
// each part applied before the next is read; in a whole pass (no scope) those read are let go once
// applied, so that the pass never holds every remote link at once.
// The library's side is read as readLibrarySide reads it: in a whole pass every local link as its
// summary, and a link whose fields a decision compares read again with its part.
// Gives back the library's side it read when the pull wrote nothing, with the library's change stamp
// then: a push that finds the same stamp decides from it instead of reading everything again.
// A whole pull that brings many links into a library holding none (a machine joining) fills it: the
// indexes of the links are made once after the last link (SyncedLibrary::startFilling).
inline constexpr qsizetype linksPerPart = 256;
struct PulledLibrary {
    LibrarySide local;
    std::pair<qint64, qint64> stamp;
};
// A whole pull may be given the library's side read before it (readLibraryAhead), which it takes when the
// library's change stamp is still the one read before it; it reads the side again otherwise.
QCoro::Task<std::optional<PulledLibrary>> pullRecords(LinkStore& store, RemoteRecords& records,
                                                      SyncRemoteState& remote,
                                                      std::shared_ptr<const SyncScope> scope,
                                                      qsizetype perPart = linksPerPart,
                                                      PulledLibrary* readAhead = nullptr);
// The library's whole side (readLibrarySide without a scope), with the change stamp read before it.
QCoro::Task<PulledLibrary> readLibraryAhead(LinkStore& store);

} // namespace morvane
