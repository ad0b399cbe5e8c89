#pragma once

#include "model/MorvaneLibraryExport.h"

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QUuid>

namespace morvane {

class LibraryMerge;
class LibraryReads;
class LibraryTransactions;

// Reads and writes library backups against the library database. Synchronous: its owner runs it on
// the thread that owns the store and tells the rest of the application about the change.
//
// A backup is outside input: it is decoded strictly and checked whole before anything is written, and
// every import runs as one transaction, so a file that cannot be imported leaves the library exactly as
// it was, even when it was meant to replace it.
class LibraryImporter {
public:
    struct ImportCounts {
        qsizetype linkCount = 0;
        qsizetype relationCount = 0;
        // Of the file's relations, those left out because a link they name is in neither the file nor,
        // when merging, the library.
        qsizetype skippedRelationCount = 0;
        bool operator==(const ImportCounts&) const = default;
    };
    // A backup document of the library, and how many of the library's relations it leaves out because
    // a link they name is no longer there.
    struct Export {
        MorvaneLibraryExport document;
        qsizetype leftOutRelationCount = 0;
    };

    // Reads the library to check a backup against it; writes only through the merge, in one bulk
    // transaction.
    LibraryImporter(LibraryReads& reads, LibraryMerge& merge, LibraryTransactions& transactions)
        : m_reads(reads)
        , m_merge(merge)
        , m_transactions(transactions)
    {
    }

    // The counts shown before an import. Writes nothing. Throws morvane::Error (an unreadable file),
    // MorvaneLibraryExportDecodingError, MorvaneLibraryExportError or LibraryImportError.
    MorvaneLibraryImportPreview preview(const QString& filePath);
    // The same for a document already read with readBackupFile(); throws nothing of its own.
    MorvaneLibraryImportPreview preview(const MorvaneLibraryExport& document);

    // Merges the file into the library, or replaces the library with it. The counts are those of the
    // file's records, not of the rows that changed; a relation naming a link the result would not have is
    // skipped and counted. Throws what preview() throws, LibraryImportError when a relation's id already
    // stands for another pair, and StoreError.
    ImportCounts importLibrary(const QString& filePath, bool replacing);
    // The same for a document already read with readBackupFile().
    ImportCounts importDocument(const MorvaneLibraryExport& document, bool replacing);

    // The whole library as a backup document: links by update time then title, each with its tags,
    // and relations by creation time, but none that names a link the library lacks.
    Export exportDocument(const QDateTime& exportedAt);
    // Encodes exportDocument() and writes it to the file atomically: a failed write leaves any file that
    // was there untouched. Returns what was written. Throws morvane::Error and StoreError.
    Export exportLibrary(const QString& filePath, const QDateTime& exportedAt);

    // Decodes and checks a backup file, as both the preview and the import do. Reads the file
    // system only.
    static MorvaneLibraryExport readBackupFile(const QString& filePath);

private:
    // The document without the relations that name a link the import's result would not have.
    MorvaneLibraryExport withoutMissingEnds(const MorvaneLibraryExport& document, bool replacing,
                                            qsizetype& skipped);
    void checkRelationIDs(const MorvaneLibraryExport& document, bool replacing);

    LibraryReads& m_reads;
    LibraryMerge& m_merge;
    LibraryTransactions& m_transactions;
};

} // namespace morvane
