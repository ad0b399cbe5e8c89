#include "MailHeaders.h"

#include "capture/MessageLocator.h"

#include <QList>
#include <QRegularExpression>
#include <QStringDecoder>

#include <unicode/ucnv.h>

#include <memory>

namespace morvane {

namespace {

QString bytesAsText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

std::optional<QString> decodeCharset(const QByteArray& bytes, const QByteArray& charset)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(
        ucnv_open(charset.constData(), &status), &ucnv_close);
    if (U_FAILURE(status))
        return std::nullopt;
    QString text(bytes.size() * 2 + 2, Qt::Uninitialized);
    const int32_t length =
        ucnv_toUChars(converter.get(), reinterpret_cast<UChar*>(text.data()), int32_t(text.size()),
                      bytes.constData(), int32_t(bytes.size()), &status);
    if (U_FAILURE(status))
        return std::nullopt;
    text.truncate(length);
    return text;
}

// "Q" encoding: "_" is a blank, "=XX" a byte.
QByteArray decodeQ(const QByteArray& text)
{
    QByteArray spaced = text;
    spaced.replace('_', ' ');
    return QByteArray::fromPercentEncoding(spaced, '=');
}

std::optional<QString> decodeEncodedWord(const QRegularExpressionMatch& word)
{
    // "charset*language" (RFC 2231) names the charset before the star.
    const QByteArray charset = word.captured(1).section(u'*', 0, 0).toLatin1();
    const QByteArray text = word.captured(3).toLatin1();
    QByteArray bytes;
    if (word.captured(2).compare(QLatin1String("B"), Qt::CaseInsensitive) == 0) {
        const auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return std::nullopt;
        bytes = *decoded;
    } else {
        bytes = decodeQ(text);
    }
    return decodeCharset(bytes, charset);
}

// The header lines of the block, unfolded, in order, as (lower-case name, raw value).
QList<std::pair<QByteArray, QByteArray>> headerLines(const QByteArray& block)
{
    QList<std::pair<QByteArray, QByteArray>> lines;
    for (QByteArray line : block.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        if ((line.startsWith(' ') || line.startsWith('\t')) && !lines.isEmpty()) {
            lines.last().second += line;
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        lines.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1)});
    }
    return lines;
}

// The display name and the address of a From header's first mailbox.
std::pair<QString, QString> splitSender(const QString& from)
{
    const qsizetype open = from.lastIndexOf(u'<');
    const qsizetype close = from.lastIndexOf(u'>');
    if (open >= 0 && close > open) {
        QString name = from.left(open).trimmed();
        if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
            name = name.mid(1, name.size() - 2).replace(QLatin1String("\\\""), QLatin1String("\""));
        return {name, from.mid(open + 1, close - open - 1).trimmed()};
    }
    // "address (Name)", the old form.
    static const QRegularExpression commented(QStringLiteral("^\\s*(\\S+@\\S+)\\s*\\((.*)\\)\\s*$"));
    if (const auto match = commented.match(from); match.hasMatch())
        return {match.captured(2).trimmed(), match.captured(1)};
    return {QString(), from.trimmed()};
}

} // namespace

QString decodeHeaderText(const QByteArray& raw)
{
    static const QRegularExpression encodedWord(QStringLiteral("=\\?([^?\\s]+)\\?([BbQq])\\?([^?\\s]*)\\?="));
    const QString text = bytesAsText(raw);
    QString decoded;
    qsizetype position = 0;
    bool lastWasEncoded = false;
    auto matches = encodedWord.globalMatch(text);
    while (matches.hasNext()) {
        const QRegularExpressionMatch word = matches.next();
        const QString between = text.mid(position, word.capturedStart() - position);
        const std::optional<QString> value = decodeEncodedWord(word);
        // White space between two encoded words is not part of the text.
        if (!(lastWasEncoded && value && between.trimmed().isEmpty()))
            decoded += between;
        decoded += value ? *value : word.captured(0);
        lastWasEncoded = value.has_value();
        position = word.capturedEnd();
    }
    decoded += text.mid(position);
    return decoded.simplified();
}

QString senderText(const StoredMessage& message)
{
    if (message.senderName.isEmpty() || message.senderAddress.isEmpty())
        return message.senderName + message.senderAddress;
    return message.senderName + QStringLiteral(" <") + message.senderAddress + u'>';
}

StoredMessage parseMailHeaders(const QByteArray& headerBlock)
{
    StoredMessage message;
    int messageIDs = 0;
    bool haveSubject = false;
    bool haveFrom = false;
    bool haveDate = false;
    for (const auto& [name, value] : headerLines(headerBlock)) {
        if (name == "message-id") {
            if (++messageIDs == 1)
                message.messageID = messageIDOfHeader(value).value_or(QByteArray());
        } else if (name == "subject" && !haveSubject) {
            haveSubject = true;
            message.subject = decodeHeaderText(value);
        } else if (name == "from" && !haveFrom) {
            haveFrom = true;
            std::tie(message.senderName, message.senderAddress) = splitSender(decodeHeaderText(value));
        } else if (name == "date" && !haveDate) {
            haveDate = true;
            QString date = bytesAsText(value).simplified();
            // A trailing "(UTC)" comment is not part of the RFC 2822 form Qt reads.
            static const QRegularExpression comment(QStringLiteral("\\s*\\([^)]*\\)\\s*$"));
            date.remove(comment);
            message.date = QDateTime::fromString(date, Qt::RFC2822Date);
        }
    }
    if (messageIDs != 1)
        message.messageID.clear();
    return message;
}

} // namespace morvane
