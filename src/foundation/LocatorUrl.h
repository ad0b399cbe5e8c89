#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace morvane {

// One name/value pair of a URL query, both percent-decoded; the value is absent when the item has no "=".
struct QueryItem {
    QString name;
    std::optional<QString> value;
    bool operator==(const QueryItem&) const = default;
};

// A locator text split into its RFC 3986 parts. The text itself is kept exactly as given (case,
// encoding, "..", "//"); the parts are views of it. A text is a URL when it starts with a scheme
// followed by ":" and holds no ASCII control character.
class LocatorUrl {
public:
    static std::optional<LocatorUrl> parse(const QString& text);

    // The one file-URL maker: "file://" + the path with every byte outside the unreserved and
    // sub-delimiter set (and ":", "@", "/") percent-encoded in upper-case hex, plus a final "/" when
    // the path names an existing folder. The path is not normalised.
    static QString fileUrlText(const QString& path);
    static QString fileUrlText(const QString& path, bool isDirectory);

    const QString& text() const { return m_text; }
    QString scheme() const { return m_scheme; }
    bool isFileUrl() const;

    // The host, percent-decoded; absent when the URL has no authority ("//").
    std::optional<QString> host() const;
    QString encodedPath() const { return m_path; }
    // The path, percent-decoded, as the URL's text names it (for display and names).
    QString path() const;
    // The local file a file URL names ("file:///a%20b/" → "/a b"): nothing for another scheme, a host
    // other than "localhost", a relative path, or a path holding U+0000 ("%00"), which a system call
    // would cut short and so reach another file. A folder URL's final "/" is dropped. Every place
    // that turns a file URL into a path to open, probe or hash goes through here.
    std::optional<QString> localFilePath() const;
    QString lastPathComponent() const;
    QString pathExtension() const;
    std::optional<QString> encodedQuery() const { return m_query; }
    QList<QueryItem> queryItems() const;
    std::optional<QString> encodedFragment() const { return m_fragment; }
    std::optional<QString> fragment() const;

    // The same text with its fragment replaced (or removed when absent); nothing else changes.
    QString textWithFragment(const std::optional<QString>& encodedFragment) const;

private:
    QString m_text;
    QString m_scheme;
    std::optional<QString> m_authority;
    QString m_path;
    std::optional<QString> m_query;
    std::optional<QString> m_fragment;
    qsizetype m_fragmentStart = -1; // index of "#" in m_text, -1 without fragment
};

// The local file a file URL text names (LocatorUrl::localFilePath); nothing for any other text.
std::optional<QString> localPathOfFileUrl(const QString& text);

// Whether a byte may stand unencoded in a URL path: letters, digits, "-._~", the sub-delimiters
// "!$&'()*+,;=" and ":@/".
bool isPathCharacter(unsigned char c);

// The text's UTF-8 bytes with every byte the predicate refuses written as %XX in upper-case hex.
template <class Allowed> QString percentEncode(const QString& text, Allowed allowed)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = text.toUtf8();
    QString encoded;
    encoded.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (allowed(c)) {
            encoded.append(QChar(c));
        } else {
            encoded.append(u'%');
            encoded.append(QChar(hex[c >> 4]));
            encoded.append(QChar(hex[c & 0xf]));
        }
    }
    return encoded;
}

// Decodes %XX sequences as UTF-8; a malformed sequence stays as written.
QString percentDecode(QStringView text);

// Path helpers with the usual meaning for POSIX paths ("/a/b.txt" → "b.txt", "txt", "/a/b").
QString lastPathComponentOfPath(const QString& path);
QString pathExtensionOfPath(const QString& path);
QString deletingPathExtension(const QString& path);

} // namespace morvane
