#include "IsoDate.h"

namespace morvane {

namespace {

enum class Fraction { Required, Forbidden };

// The parser reads QString and UTF-8 text alike: every character it accepts is ASCII, and no byte of a
// multi-byte UTF-8 sequence is.
char16_t unit(QChar c)
{
    return c.unicode();
}

char16_t unit(char c)
{
    return static_cast<unsigned char>(c);
}

template <class View> bool isAsciiDigit(View text, qsizetype pos)
{
    const char16_t c = unit(text[pos]);
    return c >= u'0' && c <= u'9';
}

template <class View> bool readDigits(View text, qsizetype& pos, int count, int& value)
{
    value = 0;
    for (int i = 0; i < count; ++i, ++pos) {
        if (pos >= text.size() || !isAsciiDigit(text, pos))
            return false;
        value = value * 10 + (unit(text[pos]) - u'0');
    }
    return true;
}

template <class View> bool expect(View text, qsizetype& pos, char16_t c)
{
    if (pos >= text.size() || unit(text[pos]) != c)
        return false;
    ++pos;
    return true;
}

template <class View> std::optional<QDateTime> parse(View text, Fraction fraction)
{
    qsizetype pos = 0;
    int year, month, day, hour, minute, second;
    if (!readDigits(text, pos, 4, year) || !expect(text, pos, u'-') || !readDigits(text, pos, 2, month) ||
        !expect(text, pos, u'-') || !readDigits(text, pos, 2, day) || !expect(text, pos, u'T') ||
        !readDigits(text, pos, 2, hour) || !expect(text, pos, u':') || !readDigits(text, pos, 2, minute) ||
        !expect(text, pos, u':') || !readDigits(text, pos, 2, second))
        return std::nullopt;

    int millis = 0;
    if (pos < text.size() && unit(text[pos]) == u'.') {
        if (fraction == Fraction::Forbidden)
            return std::nullopt;
        ++pos;
        int digits = 0;
        int scale = 100;
        while (pos < text.size() && isAsciiDigit(text, pos)) {
            if (digits < 3) {
                millis += (unit(text[pos]) - u'0') * scale;
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
    if (unit(text[pos]) == u'Z') {
        ++pos;
    } else if (unit(text[pos]) == u'+' || unit(text[pos]) == u'-') {
        const int sign = unit(text[pos]) == u'+' ? 1 : -1;
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
    return parse(QStringView(text), Fraction::Required);
}

std::optional<QDateTime> parseLibraryDate(QByteArrayView utf8)
{
    return parse(utf8, Fraction::Required);
}

QString documentDateString(const QDateTime& date)
{
    return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

std::optional<QDateTime> parseDocumentDate(const QString& text)
{
    return parse(QStringView(text), Fraction::Forbidden);
}

QDateTime wholeSeconds(const QDateTime& date)
{
    return QDateTime::fromSecsSinceEpoch(date.toSecsSinceEpoch(), Qt::UTC);
}

} // namespace morvane
