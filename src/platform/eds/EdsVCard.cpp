#include "platform/eds/EdsVCard.h"

#include "platform/EdsItemKey.h"

#include <QHash>

#include <cctype>

namespace morvane {

namespace {

// The values of one vCard line: split at the separators the text does not escape, each unescaped.
QStringList vcardValues(QByteArrayView raw)
{
    QStringList values;
    QByteArray value;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == ';') {
            values.append(QString::fromUtf8(value));
            value.clear();
        } else if (c == '\\' && i + 1 < raw.size()) {
            const char escaped = raw[++i];
            value.append(escaped == 'n' || escaped == 'N' ? '\n' : escaped);
        } else {
            value.append(c);
        }
    }
    values.append(QString::fromUtf8(value));
    return values;
}

QByteArray quotedPrintable(QByteArrayView raw)
{
    QByteArray decoded;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == '=' && i + 2 < raw.size() && std::isxdigit(uchar(raw[i + 1])) &&
            std::isxdigit(uchar(raw[i + 2]))) {
            decoded.append(char(raw.sliced(i + 1, 2).toByteArray().toInt(nullptr, 16)));
            i += 2;
        } else {
            decoded.append(raw[i]);
        }
    }
    return decoded;
}

// A vCard's lines with folding undone: a line that starts with a space or a tab goes on the one
// before it; a quoted-printable value ending in "=" goes on with the next line as it is.
QList<QByteArray> unfoldedLines(QByteArrayView text)
{
    QList<QByteArray> lines;
    bool softBreak = false;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (!lines.isEmpty() && softBreak) {
            lines.last().chop(1);
            lines.last().append(line);
        } else if (!lines.isEmpty() && (line.startsWith(' ') || line.startsWith('\t'))) {
            lines.last().append(line.sliced(1));
        } else {
            lines.append(line.toByteArray());
        }
        const QByteArray& last = lines.last();
        softBreak = last.endsWith('=') && last.contains(':') &&
                    last.left(last.indexOf(':')).toUpper().contains("QUOTED-PRINTABLE");
    }
    return lines;
}

} // namespace

std::optional<EdsCard> contactCard(QByteArrayView vcard, const QString& sourceUid)
{
    QHash<QByteArray, QStringList> fields; // the first line of each name
    for (const QByteArray& line : unfoldedLines(vcard)) {
        // The name and its parameters end at the first colon outside a quoted parameter value.
        qsizetype colon = -1;
        bool quoted = false;
        for (qsizetype i = 0; i < line.size() && colon < 0; ++i) {
            if (line[i] == '"')
                quoted = !quoted;
            else if (line[i] == ':' && !quoted)
                colon = i;
        }
        if (colon < 0)
            continue;
        const QByteArray head = line.left(colon).toUpper();
        QByteArray name = head.contains(';') ? head.left(head.indexOf(';')) : head;
        name = name.mid(name.lastIndexOf('.') + 1); // without its group
        if (fields.contains(name))
            continue;
        const QByteArrayView raw = QByteArrayView(line).sliced(colon + 1);
        fields.insert(name, vcardValues(head.contains("QUOTED-PRINTABLE") ? quotedPrintable(raw) : raw));
    }
    const auto value = [&fields](const char* name, qsizetype part = 0) {
        return fields.value(name).value(part);
    };
    const QString uid = value("UID");
    if (uid.isEmpty())
        return std::nullopt;
    // N is the family name, the given name, then others.
    EdsCard result{ContactCard{edsItemIdentifier({sourceUid, uid, std::nullopt}), value("N", 1),
                               value("N", 0), value("ORG"), value("FN").trimmed()},
                   value("X-EVOLUTION-FILE-AS")};
    ContactCard& card = result.card;
    // A card written without its full name (a vCard with only N) is named by its parts.
    if (card.fullName.isEmpty())
        card.fullName = (card.givenName + u' ' + card.familyName).trimmed();
    if (result.fileAs.isEmpty())
        result.fileAs = card.fullName;
    return result;
}

} // namespace morvane
