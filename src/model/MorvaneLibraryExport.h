#pragma once

#include "foundation/Error.h"
#include "model/LinkItem.h"
#include "model/LinkRelation.h"
#include "model/LinkType.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace morvane {

class MorvaneLibraryExportEncoder;
class MorvaneLibraryExportDecoder;
struct MorvaneLibraryExportCoders;

// The JSON backup document: every link and relation of the library, without the evidence that only
// means something on this machine (bookmarks, file and volume identifiers, relation counts).
struct MorvaneLibraryExport {
    static constexpr qint64 currentFormatVersion = 1;
    // A backup is outside input: anything larger than this (links and relations together) is refused
    // while reading, before it can exhaust memory.
    static constexpr qsizetype maximumRecordCount = 1'000'000;

    struct LinkRecord {
        QUuid id;
        QString title;
        QString url;
        LinkType type = LinkType::web;
        QString sourceApp;
        QString notes;
        QStringList tags;
        std::optional<QString> lastKnownPath;
        std::optional<QString> contentHash;
        std::optional<qint64> fileSize;
        QDateTime createdAt;
        QDateTime updatedAt;
        std::optional<QDateTime> lastOpenedAt;

        bool operator==(const LinkRecord&) const = default;

        static LinkRecord fromLinkItem(const LinkItem& item);
        // The imported item: no relation count and no evidence of any machine.
        LinkItem linkItem() const;
    };

    struct RelationRecord {
        QUuid id;
        QUuid fromLinkID;
        QUuid toLinkID;
        QDateTime createdAt;

        bool operator==(const RelationRecord&) const = default;

        static RelationRecord fromLinkRelation(const LinkRelation& relation);
        LinkRelation linkRelation() const;
    };

    qint64 formatVersion = currentFormatVersion;
    QString appName = QStringLiteral("Morvane");
    QDateTime exportedAt;
    QList<LinkRecord> links;
    QList<RelationRecord> relations;

    bool operator==(const MorvaneLibraryExport&) const = default;

    MorvaneLibraryExport() = default;
    // The document of the given items and relations, in the order given.
    MorvaneLibraryExport(const QList<LinkItem>& items, const QList<LinkRelation>& linkRelations,
                         const QDateTime& exportedAt);

    QList<LinkItem> linkItems() const;
    QList<LinkRelation> linkRelations() const;

    // Throws MorvaneLibraryExportError when the document is of another format version.
    void checkFormatVersion() const;

    // A fresh encoder and decoder; every writer and reader of backups uses this pair.
    static MorvaneLibraryExportCoders makeJSONCoders();

    // What every import does with the bytes of a backup: decode strictly, then check the version.
    // Throws MorvaneLibraryExportDecodingError or MorvaneLibraryExportError.
    static MorvaneLibraryExport readBackup(const QByteArray& bytes);
};

// The counts shown before an import.
struct MorvaneLibraryImportPreview {
    QDateTime exportedAt;
    qsizetype linkCount = 0;
    qsizetype relationCount = 0;
    qsizetype existingLinkCount = 0;
    qsizetype existingRelationCount = 0;

    bool operator==(const MorvaneLibraryImportPreview&) const = default;
};

// A backup that decodes but is of a format version this build does not read.
class MorvaneLibraryExportError : public Error {
public:
    enum class Kind { unsupportedFormatVersion };

    static MorvaneLibraryExportError unsupportedFormatVersion(qint64 version);

    Kind kind() const { return m_kind; }
    qint64 version() const { return m_version; }

private:
    MorvaneLibraryExportError(Kind kind, qint64 version);

    Kind m_kind;
    qint64 m_version;
};

// A backup that is not a document of this format. The user sees the generic data-format text (or, for an
// oversized file, why it was refused); kind() and detail() say what and where, for logs and tests.
class MorvaneLibraryExportDecodingError : public Error {
public:
    enum class Kind {
        invalidJSON,      // not JSON at all, or not UTF-8
        typeMismatch,     // a value of the wrong JSON type
        valueNotFound,    // null where a value is required
        keyNotFound,      // a required key is missing
        duplicateKey,     // the same key twice in one object
        dataCorrupted,    // right type, unreadable value: UUID, date, link type
        numberOutOfRange, // an integer beyond 64 bits
        tooManyRecords,   // more than maximumRecordCount records
        nestingTooDeep,   // nested beyond any plausible document
    };

    // The description is what the user sees; only a refusal of our own (too many records) says more
    // than the generic data-format text.
    MorvaneLibraryExportDecodingError(Kind kind, QString codingPath, QString detail,
                                      const QString& description = genericDataFormatText());

    Kind kind() const { return m_kind; }
    // Where in the document, e.g. "links[3].createdAt"; empty for the document itself.
    const QString& codingPath() const { return m_codingPath; }
    const QString& detail() const { return m_detail; }

private:
    Kind m_kind;
    QString m_codingPath;
    QString m_detail;
};

// Writes the document as pretty-printed JSON, one member per line, keys sorted, whole-second UTC dates,
// optional keys left out (never null), forward slashes escaped as "\/".
class MorvaneLibraryExportEncoder {
public:
    // Throws morvane::Error for a date that the document form cannot hold (invalid, or a year outside
    // 1...9999), rather than write a backup that could not be read back.
    QByteArray encode(const MorvaneLibraryExport& document) const;
};

// Reads a document strictly: every value's type is checked, duplicate keys, missing required keys,
// malformed UUIDs and dates, unknown link types and integers beyond 64 bits are refused; keys that the
// format does not define are ignored. The format version is not checked here.
class MorvaneLibraryExportDecoder {
public:
    // Links and relations together; more is refused as soon as the first record too many opens.
    qsizetype maximumRecordCount = MorvaneLibraryExport::maximumRecordCount;

    // Throws MorvaneLibraryExportDecodingError.
    MorvaneLibraryExport decode(const QByteArray& bytes) const;
};

struct MorvaneLibraryExportCoders {
    MorvaneLibraryExportEncoder encoder;
    MorvaneLibraryExportDecoder decoder;
};

} // namespace morvane
