#pragma once

#include "foundation/MappedArray.h"

#include <QString>

#include <optional>

namespace morvane {

// The file that keeps a copy of the links' texts for searches beside the library: a head, then every
// link's rowid, every link's start in the texts, and the texts. The file is this machine's own, read by
// the program that wrote it: numbers are written as they are in memory.
class LinkSearchTextsCopy {
public:
    // What the copy is, which library state it belongs to, the journal's point the texts stand at, and
    // how many rowids, starts and bytes of texts follow, with a checksum of all of them.
    struct Head {
        char kind[8];
        qint64 schemaVersion;
        qint64 mark;
        qint64 through;
        qint64 superseded;
        quint64 links;
        quint64 textBytes;
        // Written into the library with the copy, new each time: a library file put back, replaced or
        // copied in holds another.
        qint64 lineage;
        quint64 bodyChecksum;
    };
    struct Body {
        MappedArray<qint64>& rowids;
        MappedArray<qsizetype>& starts;
        MappedArray<char>& texts;
    };

    // The copy at the path, not opened yet.
    explicit LinkSearchTextsCopy(QString path);
    ~LinkSearchTextsCopy();
    LinkSearchTextsCopy(const LinkSearchTextsCopy&) = delete;
    LinkSearchTextsCopy& operator=(const LinkSearchTextsCopy&) = delete;

    // Opens the copy and reads its head; none when there is no copy, when what is there is not a
    // regular file of this user's (refusal() says what), or when the head is of another kind or does
    // not fit the file's size. Never waits on what is found at the path.
    std::optional<Head> open();
    // Why the entry at the path was not opened; empty when it was, or when there is none.
    const QString& refusal() const { return m_refusal; }

    // Reads the body after the head into the arrays (appended to them), in one pass that checks it
    // against the head's checksum; false when it does not match or the starts cannot be those of the
    // texts, which the caller then drops.
    bool readBody(const Head& head, const Body& body);
    // Only whether the body matches the head's checksum, read through a small buffer.
    bool bodyMatches(const Head& head);

    // Writes the copy under another name, flushes it to the disk, renames it over the old one and
    // flushes the folder, so that a crash leaves the old copy or the new one; the head's kind and
    // checksum are filled in. False with errno set when it could not.
    static bool write(const QString& path, Head head, const Body& body);

private:
    QString m_path;
    int m_descriptor = -1;
    QString m_refusal;
};

} // namespace morvane
