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
    // Dates from 1970 to 9999, nearly every one, are written here: QDateTime's formatter goes through
    // the calendar for each field, a few microseconds a date, and a sync pass writes one for each date
    // of every link it compares. The others take the formatter's way, which writes them the same.
    constexpr qint64 msPerDay = 86400000;
    constexpr qint64 year10000 = 253402300800000; // 10000-01-01T00:00:00Z
    const qint64 ms = date.isValid() ? date.toMSecsSinceEpoch() : -1;
    if (ms < 0 || ms >= year10000)
        return date.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
    // The civil date of a day count (the proleptic Gregorian calendar in eras of 400 years).
    const qint64 z = ms / msPerDay + 719468;
    const qint64 era = z / 146097;
    const qint64 dayOfEra = z - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 shifted = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * shifted + 2) / 5 + 1);
    const int month = int(shifted < 10 ? shifted + 3 : shifted - 9);
    const int year = int(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    const qint64 msOfDay = ms % msPerDay;
    char16_t text[24];
    const auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char16_t(u'0' + value % 10);
    };
    put(0, year, 4);
    text[4] = u'-';
    put(5, month, 2);
    text[7] = u'-';
    put(8, day, 2);
    text[10] = u'T';
    put(11, int(msOfDay / 3600000), 2);
    text[13] = u':';
    put(14, int(msOfDay / 60000 % 60), 2);
    text[16] = u':';
    put(17, int(msOfDay / 1000 % 60), 2);
    text[19] = u'.';
    put(20, int(msOfDay % 1000), 3);
    text[23] = u'Z';
    return QString(reinterpret_cast<const QChar*>(text), 24);
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
