#include "CaptureText.h"

#include <QChar>

namespace morvane {

namespace {

// Whether any code point of the text (surrogate pairs read as one) passes the test.
template <class Test> bool anyCodePoint(QStringView text, Test test)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (test(c))
            return true;
    }
    return false;
}

} // namespace

QStringList payloadFields(const QString& answer)
{
    return answer.split(payloadSeparator, Qt::KeepEmptyParts);
}

bool containsControlCharacter(QStringView text)
{
    return anyCodePoint(text, [](char32_t c) {
        const QChar::Category category = QChar::category(c);
        return category == QChar::Other_Control || category == QChar::Other_Format;
    });
}

bool containsWhiteSpace(QStringView text)
{
    return anyCodePoint(text, [](char32_t c) { return QChar::isSpace(c); });
}

std::optional<qint64> signedDecimal(const QString& text)
{
    const qsizetype start = (text.startsWith(u'+') || text.startsWith(u'-')) ? 1 : 0;
    if (start == text.size())
        return std::nullopt;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? std::optional(value) : std::nullopt;
}

QString scriptStringLiteral(const QString& text)
{
    QString literal;
    literal.reserve(text.size() + 2);
    literal.append(u'"');
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            literal.append(u'\\');
        literal.append(c);
    }
    literal.append(u'"');
    return literal;
}

} // namespace morvane
