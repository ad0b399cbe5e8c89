#include "PdfWindowDocument.h"

#include "foundation/LocatorUrl.h"
#include "foundation/Text.h"

#include <QFile>
#include <QStringDecoder>

namespace morvane {

namespace {

constexpr qint64 scannedBytes = 256 * 1024;
constexpr qsizetype maxTitleBytes = 2048;

// A literal string "(…)" from its opening parenthesis: escapes resolved, nested parentheses kept.
std::optional<QByteArray> literalString(const QByteArray& data, qsizetype open)
{
    QByteArray bytes;
    int depth = 1;
    for (qsizetype i = open + 1; i < data.size() && bytes.size() <= maxTitleBytes; ++i) {
        const char c = data[i];
        if (c == '\\' && i + 1 < data.size()) {
            const char next = data[++i];
            static const QByteArray from("nrtbf()\\"), to("\n\r\t\b\f()\\");
            if (const qsizetype at = from.indexOf(next); at >= 0) {
                bytes += to[at];
            } else if (next >= '0' && next <= '7') {
                int value = next - '0';
                for (int digits = 1;
                     digits < 3 && i + 1 < data.size() && data[i + 1] >= '0' && data[i + 1] <= '7'; ++digits)
                    value = value * 8 + (data[++i] - '0');
                bytes += char(value & 0xff);
            }
            continue; // a backslash before a line break joins the lines
        }
        if (c == '(')
            ++depth;
        if (c == ')' && --depth == 0)
            return bytes;
        bytes += c;
    }
    return std::nullopt;
}

std::optional<QByteArray> hexString(const QByteArray& data, qsizetype open)
{
    const qsizetype close = data.indexOf('>', open);
    if (close < 0 || close - open > 2 * maxTitleBytes + 2)
        return std::nullopt;
    return QByteArray::fromHex(data.mid(open + 1, close - open - 1));
}

// PDF text strings: UTF-16 with its byte order mark, UTF-8 with its own, else PDFDocEncoding, whose
// printable characters are Latin-1's.
QString textString(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(QStringDecoder::Utf16BE);
        return utf16.decode(bytes.mid(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return QString::fromLatin1(bytes);
}

std::optional<QString> titleIn(const QByteArray& data)
{
    // The last one: an incremental update appends the newer information dictionary.
    for (qsizetype at = data.lastIndexOf("/Title"); at >= 0; at = data.lastIndexOf("/Title", at - 1)) {
        qsizetype value = at + 6;
        while (value < data.size() && QChar::isSpace(uchar(data[value])))
            ++value;
        std::optional<QByteArray> bytes;
        if (value < data.size() && data[value] == '(')
            bytes = literalString(data, value);
        else if (value < data.size() && data[value] == '<' &&
                 (value + 1 >= data.size() || data[value + 1] != '<'))
            bytes = hexString(data, value);
        if (bytes) {
            const QString title = trimmedText(textString(*bytes));
            if (!title.isEmpty())
                return title;
        }
        if (at == 0)
            break;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> pdfDocumentTitle(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 size = file.size();
    QByteArray data;
    if (size > 2 * scannedBytes) {
        data = file.read(scannedBytes);
        file.seek(size - scannedBytes);
        data += file.read(scannedBytes);
    } else {
        data = file.read(2 * scannedBytes);
    }
    return titleIn(data);
}

std::optional<QString> pdfShownInWindow(const QStringList& openPdfs, const QString& windowTitle)
{
    if (openPdfs.size() == 1)
        return openPdfs.first();
    const auto onlyOne = [&](const auto& shown) -> std::optional<QString> {
        std::optional<QString> found;
        for (const QString& path : openPdfs) {
            if (!shown(path))
                continue;
            if (found)
                return std::nullopt;
            found = path;
        }
        return found;
    };
    // A longer name that holds a shorter one ("a.pdf" in "data.pdf") must not count for both.
    const auto nameShown = [&](const QString& path) {
        const QString name = lastPathComponentOfPath(path);
        for (qsizetype at = windowTitle.indexOf(name); at >= 0; at = windowTitle.indexOf(name, at + 1)) {
            if (at == 0 || !windowTitle[at - 1].isLetterOrNumber())
                return true;
        }
        return false;
    };
    if (const std::optional<QString> byName = onlyOne(nameShown))
        return byName;
    return onlyOne([&](const QString& path) {
        const std::optional<QString> title = pdfDocumentTitle(path);
        return title && windowTitle.contains(*title);
    });
}

} // namespace morvane
