#include "sync/RecordDocumentReader.h"

#include "foundation/IsoDate.h"

#include <QList>

#include <charconv>
#include <cstdint>
#include <string>
#include <utility>

namespace morvane {

namespace {

// A string's text as UTF-8, and whether all of it is ASCII.
struct DocumentText {
    QByteArrayView utf8;
    bool ascii = true;

    QString toString() const { return ascii ? QString::fromLatin1(utf8) : QString::fromUtf8(utf8); }
    bool is(const char* word) const { return utf8 == QByteArrayView(word); }
};

// One walk over a document. Each step answers false where the walk cannot go on, whether the document
// is not JSON or only not of the shape walked.
class DocumentWalk {
public:
    explicit DocumentWalk(QByteArrayView bytes)
        : m_at(bytes.data())
        , m_end(bytes.data() + bytes.size())
    {
    }

    bool take(char c)
    {
        skipSpace();
        if (m_at == m_end || *m_at != c)
            return false;
        ++m_at;
        return true;
    }

    bool atEnd()
    {
        skipSpace();
        return m_at == m_end;
    }

    // The text stays valid until the next string is read: escaped text is decoded into a buffer the
    // walk reuses.
    bool string(DocumentText& text)
    {
        if (!take('"'))
            return false;
        const char* start = m_at;
        bool ascii = true;
        while (m_at != m_end) {
            const auto c = static_cast<unsigned char>(*m_at);
            if (c == '"') {
                text = {QByteArrayView(start, m_at - start), ascii};
                ++m_at;
                return true;
            }
            if (c == '\\')
                return escapedString(start, ascii, text);
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                ascii = false;
                if (!utf8Sequence())
                    return false;
                continue;
            }
            ++m_at;
        }
        return false;
    }

    // A number's literal, and whether it has neither fraction nor exponent.
    bool number(QByteArrayView& literal, bool& integer)
    {
        skipSpace();
        const char* start = m_at;
        if (m_at != m_end && *m_at == '-')
            ++m_at;
        if (m_at == m_end)
            return false;
        if (*m_at == '0')
            ++m_at;
        else if (!digits())
            return false;
        integer = true;
        if (m_at != m_end && *m_at == '.') {
            integer = false;
            ++m_at;
            if (!digits())
                return false;
        }
        if (m_at != m_end && (*m_at == 'e' || *m_at == 'E')) {
            integer = false;
            ++m_at;
            if (m_at != m_end && (*m_at == '+' || *m_at == '-'))
                ++m_at;
            if (!digits())
                return false;
        }
        literal = QByteArrayView(start, m_at - start);
        return true;
    }

private:
    void skipSpace()
    {
        while (m_at != m_end && (*m_at == ' ' || *m_at == '\n' || *m_at == '\r' || *m_at == '\t'))
            ++m_at;
    }

    bool digits()
    {
        const char* start = m_at;
        while (m_at != m_end && *m_at >= '0' && *m_at <= '9')
            ++m_at;
        return m_at != start;
    }

    unsigned byteAt(std::ptrdiff_t offset) const
    {
        return m_end - m_at > offset ? static_cast<unsigned char>(m_at[offset]) : 0x100;
    }

    bool continuation(std::ptrdiff_t offset, unsigned low = 0x80, unsigned high = 0xBF) const
    {
        const unsigned byte = byteAt(offset);
        return byte >= low && byte <= high;
    }

    // One well-formed UTF-8 sequence of more than one byte (no overlong form, no surrogate, nothing past
    // U+10FFFF), stepped over.
    bool utf8Sequence()
    {
        const unsigned lead = byteAt(0);
        int length = 0;
        if (lead >= 0xC2 && lead <= 0xDF)
            length = continuation(1) ? 2 : 0;
        else if (lead == 0xE0)
            length = continuation(1, 0xA0) && continuation(2) ? 3 : 0;
        else if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF)
            length = continuation(1) && continuation(2) ? 3 : 0;
        else if (lead == 0xED)
            length = continuation(1, 0x80, 0x9F) && continuation(2) ? 3 : 0;
        else if (lead == 0xF0)
            length = continuation(1, 0x90) && continuation(2) && continuation(3) ? 4 : 0;
        else if (lead >= 0xF1 && lead <= 0xF3)
            length = continuation(1) && continuation(2) && continuation(3) ? 4 : 0;
        else if (lead == 0xF4)
            length = continuation(1, 0x80, 0x8F) && continuation(2) && continuation(3) ? 4 : 0;
        m_at += length;
        return length != 0;
    }

    bool hex4(unsigned& code)
    {
        if (m_end - m_at < 4)
            return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = *m_at++;
            code <<= 4;
            if (c >= '0' && c <= '9')
                code |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f')
                code |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                code |= unsigned(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    void appendUtf8(unsigned code)
    {
        if (code < 0x80) {
            m_decoded.push_back(char(code));
        } else if (code < 0x800) {
            m_decoded.push_back(char(0xC0 | (code >> 6)));
            m_decoded.push_back(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            m_decoded.push_back(char(0xE0 | (code >> 12)));
            m_decoded.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            m_decoded.push_back(char(0x80 | (code & 0x3F)));
        } else {
            m_decoded.push_back(char(0xF0 | (code >> 18)));
            m_decoded.push_back(char(0x80 | ((code >> 12) & 0x3F)));
            m_decoded.push_back(char(0x80 | ((code >> 6) & 0x3F)));
            m_decoded.push_back(char(0x80 | (code & 0x3F)));
        }
    }

    // An escape's code point: a pair of surrogates makes one, a surrogate alone is not text.
    bool unicodeEscape(unsigned& code)
    {
        if (!hex4(code) || (code >= 0xDC00 && code <= 0xDFFF))
            return false;
        if (code < 0xD800 || code > 0xDBFF)
            return true;
        unsigned low = 0;
        if (m_end - m_at < 2 || m_at[0] != '\\' || m_at[1] != 'u')
            return false;
        m_at += 2;
        if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
            return false;
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        return true;
    }

    // The rest of a string that holds an escape, from the first one on.
    bool escapedString(const char* start, bool ascii, DocumentText& text)
    {
        m_decoded.assign(start, m_at);
        while (m_at != m_end) {
            const auto c = static_cast<unsigned char>(*m_at);
            if (c == '"') {
                ++m_at;
                text = {QByteArrayView(m_decoded.data(), qsizetype(m_decoded.size())), ascii};
                return true;
            }
            if (c < 0x20)
                return false;
            if (c >= 0x80) {
                const char* from = m_at;
                ascii = false;
                if (!utf8Sequence())
                    return false;
                m_decoded.append(from, m_at);
                continue;
            }
            ++m_at;
            if (c != '\\') {
                m_decoded.push_back(char(c));
                continue;
            }
            if (m_at == m_end)
                return false;
            switch (*m_at++) {
            case '"':
                m_decoded.push_back('"');
                break;
            case '\\':
                m_decoded.push_back('\\');
                break;
            case '/':
                m_decoded.push_back('/');
                break;
            case 'b':
                m_decoded.push_back('\b');
                break;
            case 'f':
                m_decoded.push_back('\f');
                break;
            case 'n':
                m_decoded.push_back('\n');
                break;
            case 'r':
                m_decoded.push_back('\r');
                break;
            case 't':
                m_decoded.push_back('\t');
                break;
            case 'u': {
                unsigned code = 0;
                if (!unicodeEscape(code))
                    return false;
                ascii = ascii && code < 0x80;
                appendUtf8(code);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    const char* m_at;
    const char* m_end;
    std::string m_decoded;
};

// A whole integer literal read exactly, none when it does not fit.
template <class Integer> std::optional<Integer> integerOf(QByteArrayView literal)
{
    Integer value{};
    const auto [end, error] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    if (error != std::errc() || end != literal.data() + literal.size())
        return std::nullopt;
    return value;
}

// A field's value, an object of one typed value; none where the walk leaves the document to the general
// reading.
std::optional<CloudValue> fieldValue(DocumentWalk& walk)
{
    DocumentText kind;
    if (!walk.take('{') || !walk.string(kind) || !walk.take(':'))
        return std::nullopt;
    std::optional<CloudValue> value;
    if (kind.is("string")) {
        DocumentText text;
        if (walk.string(text))
            value = text.toString();
    } else if (kind.is("date")) {
        DocumentText text;
        if (walk.string(text)) {
            if (const std::optional<QDateTime> date =
                    text.ascii ? parseLibraryDate(text.utf8) : parseLibraryDate(text.toString()))
                value = *date;
        }
    } else if (kind.is("int64")) {
        QByteArrayView literal;
        bool integer = false;
        if (walk.number(literal, integer) && integer) {
            if (const std::optional<qint64> number = integerOf<qint64>(literal))
                value = *number;
        }
    } else if (kind.is("double")) {
        // As the general reading makes it: a whole literal read as an integer first, then converted.
        QByteArrayView literal;
        bool integer = false;
        if (walk.number(literal, integer)) {
            if (integer && literal.startsWith('-')) {
                if (const std::optional<qint64> number = integerOf<qint64>(literal))
                    value = double(*number);
            } else if (integer) {
                if (const std::optional<quint64> number = integerOf<quint64>(literal))
                    value = double(*number);
            } else if (const std::optional<double> number = integerOf<double>(literal)) {
                value = *number;
            }
        }
    } else if (kind.is("stringList")) {
        QStringList list;
        bool closed = walk.take('[') && walk.take(']');
        for (DocumentText item; !closed && walk.string(item);) {
            list.append(item.toString());
            if (walk.take(']'))
                closed = true;
            else if (!walk.take(','))
                break;
        }
        if (closed)
            value = std::move(list);
    }
    if (!value || !walk.take('}'))
        return std::nullopt;
    return value;
}

} // namespace

RecordDocumentReader::RecordDocumentReader(QSet<QString>& words)
    : m_words(words)
{
}

std::optional<CloudRecord> RecordDocumentReader::read(QByteArrayView bytes)
{
    const auto shared = [this](QString text) {
        if (const auto found = m_words.constFind(text); found != m_words.constEnd())
            return *found;
        m_words.insert(text);
        return text;
    };
    DocumentWalk walk(bytes);
    std::optional<QString> recordType;
    std::optional<QString> recordName;
    std::optional<QString> changeTag;
    std::optional<QList<std::pair<QString, CloudValue>>> fields;
    if (!walk.take('{'))
        return std::nullopt;
    for (;;) {
        DocumentText key;
        if (!walk.string(key) || !walk.take(':'))
            return std::nullopt;
        std::optional<QString>* text = key.is("recordType")   ? &recordType
                                       : key.is("recordName") ? &recordName
                                       : key.is("changeTag")  ? &changeTag
                                                              : nullptr;
        if (text) {
            DocumentText value;
            if (text->has_value() || !walk.string(value))
                return std::nullopt;
            *text = value.toString();
        } else if (key.is("fields") && !fields) {
            fields.emplace();
            fields->reserve(12);
            if (!walk.take('{'))
                return std::nullopt;
            if (!walk.take('}')) {
                for (;;) {
                    DocumentText name;
                    if (!walk.string(name))
                        return std::nullopt;
                    QString fieldName = name.toString();
                    if (!walk.take(':'))
                        return std::nullopt;
                    std::optional<CloudValue> value = fieldValue(walk);
                    if (!value)
                        return std::nullopt;
                    fields->append({std::move(fieldName), std::move(*value)});
                    if (walk.take('}'))
                        break;
                    if (!walk.take(','))
                        return std::nullopt;
                }
            }
        } else {
            return std::nullopt;
        }
        if (walk.take('}'))
            break;
        if (!walk.take(','))
            return std::nullopt;
    }
    if (!walk.atEnd() || !recordType || !recordName || !changeTag || !fields)
        return std::nullopt;
    CloudRecord record(shared(std::move(*recordType)), std::move(*recordName));
    record.setChangeTag(std::move(*changeTag));
    for (auto& [name, value] : *fields)
        record.set(shared(std::move(name)), std::move(value));
    return record;
}

} // namespace morvane
