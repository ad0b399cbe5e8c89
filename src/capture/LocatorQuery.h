#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

namespace morvane {

// The locators of this application's own schemes (calendar events, contacts) and the links it hands
// to other applications are plain "scheme://host?name=value&..." texts, written and read here. QUrl
// is not used for them: it lower-cases hosts and encodes a query its own way, and the text must come
// out the same wherever it is written.

// "scheme://host?" and the items as name=value joined by "&", every name and value encoded with
// encodedQueryComponent. Items are written as given, empty values included.
QString queryLocator(QStringView scheme, QStringView host, const QList<std::pair<QString, QString>>& items);

// The UTF-8 bytes of the text, each one outside the characters a URL query allows, "&" and "=" as
// %XX in upper-case hex. "+" stays as written (and is read back as "+", never as a space).
QString encodedQueryComponent(const QString& text);
// The same for one segment of a URL path (a query's "?" is encoded too).
QString encodedPathComponent(const QString& text);

// The decoded query items of a text whose scheme and host are exactly these (case counts); an item
// without "=" has the empty value. Nothing when the text is another URL or no URL, has no query
// item, or names one item twice (no writer of these locators does, so such a text is not trusted).
std::optional<QHash<QString, QString>> queryOfLocator(const QString& text, QStringView scheme,
                                                      QStringView host);

} // namespace morvane
