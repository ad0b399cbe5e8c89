#include "IsoDate.h"

namespace morvane {

namespace {

enum class Fraction { Required, Forbidden };

bool readDigits(QStringView text, qsizetype& pos, int count, int& value)
{
    value = 0;
    for (int i = 0; i < count; ++i, ++pos) {
        if (pos >= text.size())
            return false;
        const char16_t c = text[pos].unicode();
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
    }
    return true;
}

bool expect(QStringView text, qsizetype& pos, char16_t c)
{
    if (pos >= text.size() || text[pos].unicode() != c)
        return false;
    ++pos;
    return true;
}

std::optional<QDateTime> parse(QStringView text, Fraction fraction)
{
    qsizetype pos = 0;
    int year, month, day, hour, minute, second;
    if (!readDigits(text, pos, 4, year) || !expect(text, pos, u'-') || !readDigits(text, pos, 2, month) ||
        !expect(text, pos, u'-') || !readDigits(text, pos, 2, day) || !expect(text, pos, u'T') ||
        !readDigits(text, pos, 2, hour) || !expect(text, pos, u':') || !readDigits(text, pos, 2, minute) ||
        !expect(text, pos, u':') || !readDigits(text, pos, 2, second))
        return std::nullopt;

    int millis = 0;
    if (pos < text.size() && text[pos] == u'.') {
        if (fraction == Fraction::Forbidden)
            return std::nullopt;
        ++pos;
        int digits = 0;
        int scale = 100;
        while (pos < text.size() && text[pos].isDigit() && text[pos].unicode() < 0x80) {
            if (digits < 3) {
                millis += (text[pos].unicode() - u'0') * scale;
                scale /= 10;
            }
            ++digits;
            ++pos;
        }
        if (digits < 1 || digits > 9)
            return std::nullopt;
    } else if (fraction == Fraction::Required) {
        return std::nullopt;
    }

    int offsetSeconds = 0;
    if (pos >= text.size())
        return std::nullopt;
    if (text[pos] == u'Z') {
        ++pos;
    } else if (text[pos] == u'+' || text[pos] == u'-') {
        const int sign = text[pos] == u'+' ? 1 : -1;
        ++pos;
        int oh, om;
        if (!readDigits(text, pos, 2, oh) || !expect(text, pos, u':') || !readDigits(text, pos, 2, om) ||
            oh > 23 || om > 59)
            return std::nullopt;
        offsetSeconds = sign * (oh * 3600 + om * 60);
    } else {
        return std::nullopt;
    }
    if (pos != text.size())
        return std::nullopt;

    const QDate date(year, month, day);
    const QTime time(hour, minute, second, millis);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    // Built as UTC and shifted by the offset: a QTimeZone per date costs more than the parse.
    QDateTime result(date, time, Qt::UTC);
    if (!result.isValid())
        return std::nullopt;
    return offsetSeconds == 0 ? result : result.addSecs(-offsetSeconds);
}

} // namespace

QString libraryDateString(const QDateTime& date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

std::optional<QDateTime> parseLibraryDate(const QString& text)
{
    return parse(text, Fraction::Required);
}

QString documentDateString(const QDateTime& date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

std::optional<QDateTime> parseDocumentDate(const QString& text)
{
    return parse(text, Fraction::Forbidden);
}

QDateTime wholeSeconds(const QDateTime& date)
{
    return QDateTime::fromSecsSinceEpoch(date.toSecsSinceEpoch(), Qt::UTC);
}

} // namespace morvane
