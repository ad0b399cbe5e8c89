#include "MorvaneLibraryExport.h"

#include "foundation/EnumNames.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <QLocale>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <unordered_set>
#include <vector>

namespace morvane {

namespace {

using nlohmann::json;
using ErrorKind = MorvaneLibraryExportDecodingError::Kind;

// Deeper than any document of this format can be; a bound keeps a hostile file from growing the stack
// of open containers without limit.
constexpr std::size_t maximumDepth = 512;

enum class Scope { root, document, links, relations, link, relation, tags, skippedObject, skippedArray };

// The fields of each object of the format, numbered for the "seen" bit sets.
struct DocumentField {
    enum : int { formatVersion, appName, exportedAt, links, relations, count };
};
struct LinkField {
    enum : int {
        id,
        title,
        url,
        type,
        sourceApp,
        notes,
        tags,
        lastKnownPath,
        contentHash,
        fileSize,
        createdAt,
        updatedAt,
        lastOpenedAt,
        count
    };
};
struct RelationField {
    enum : int { id, fromLinkID, toLinkID, createdAt, count };
};

constexpr const char* documentKeys[] = {"formatVersion", "appName", "exportedAt", "links", "relations"};
constexpr const char* linkKeys[] = {"id",        "title",     "url",           "type",        "sourceApp",
                                    "notes",     "tags",      "lastKnownPath", "contentHash", "fileSize",
                                    "createdAt", "updatedAt", "lastOpenedAt"};
constexpr const char* relationKeys[] = {"id", "fromLinkID", "toLinkID", "createdAt"};
static_assert(std::size(documentKeys) == DocumentField::count && std::size(linkKeys) == LinkField::count &&
              std::size(relationKeys) == RelationField::count);

constexpr std::uint32_t bit(int field)
{
    return std::uint32_t{1} << field;
}

constexpr std::uint32_t requiredDocumentFields = bit(DocumentField::count) - 1;
constexpr std::uint32_t requiredLinkFields =
    (bit(LinkField::count) - 1) & ~(bit(LinkField::lastKnownPath) | bit(LinkField::contentHash) |
                                    bit(LinkField::fileSize) | bit(LinkField::lastOpenedAt));
constexpr std::uint32_t requiredRelationFields = bit(RelationField::count) - 1;

enum class ValueKind { null, boolean, integer, unsignedInteger, floating, string, objectStart, arrayStart };

struct Value {
    ValueKind kind;
    const std::string* text = nullptr; // the string, or the number's own spelling for a floating value
    std::int64_t integer = 0;
    std::uint64_t unsignedInteger = 0;
};

struct Frame {
    explicit Frame(Scope scope)
        : scope(scope)
    {
    }

    Scope scope;
    int field = -1;         // objects: the known field whose value comes next; -1 for an unknown key
    std::string key;        // objects: the last key read, for error paths
    std::uint32_t seen = 0; // objects: the known fields read so far
    std::unordered_set<std::string> otherKeys; // objects: keys outside the format, to catch duplicates
    qsizetype index = 0;                       // arrays: the index of the next element
};

bool isObject(Scope scope)
{
    return scope == Scope::document || scope == Scope::link || scope == Scope::relation ||
           scope == Scope::skippedObject;
}

// How an error message names a value of each kind.
constexpr EnumName<ValueKind> valueKindDescriptions[] = {
    {ValueKind::null, "null"},
    {ValueKind::boolean, "a boolean"},
    {ValueKind::integer, "an integer"},
    {ValueKind::unsignedInteger, "an integer"},
    {ValueKind::floating, "a number with a fraction or exponent"},
    {ValueKind::string, "a string"},
    {ValueKind::objectStart, "an object"},
    {ValueKind::arrayStart, "an array"},
};

// nlohmann reads an integer too large for 64 bits as a floating value; its spelling tells the two apart.
bool spellsInteger(const std::string& text)
{
    std::size_t start = (!text.empty() && text.front() == '-') ? 1 : 0;
    if (start == text.size())
        return false;
    for (std::size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

// Receives the parser's events and fills the document, refusing the first thing that does not fit.
class Reader {
public:
    MorvaneLibraryExport document;
    std::optional<MorvaneLibraryExportDecodingError> error;

    explicit Reader(qsizetype maximumRecordCount)
        : m_maximumRecordCount(maximumRecordCount)
    {
        m_stack.emplace_back(Scope::root);
    }

    bool null() { return value(Value{ValueKind::null}); }
    bool boolean(bool) { return value(Value{ValueKind::boolean}); }
    bool number_integer(json::number_integer_t number)
    {
        return value(Value{ValueKind::integer, nullptr, number});
    }
    bool number_unsigned(json::number_unsigned_t number)
    {
        return value(Value{ValueKind::unsignedInteger, nullptr, 0, number});
    }
    bool number_float(json::number_float_t, const json::string_t& spelling)
    {
        return value(Value{ValueKind::floating, &spelling});
    }
    bool string(json::string_t& text) { return value(Value{ValueKind::string, &text}); }
    bool binary(json::binary_t&) { return fail(ErrorKind::invalidJSON, "binary value"); }

    bool start_object(std::size_t) { return value(Value{ValueKind::objectStart}); }
    bool start_array(std::size_t) { return value(Value{ValueKind::arrayStart}); }

    bool key(json::string_t& key)
    {
        Frame& frame = m_stack.back();
        frame.key = key;
        frame.field = -1;
        const char* const* keys = nullptr;
        int count = 0;
        switch (frame.scope) {
        case Scope::document:
            keys = documentKeys;
            count = DocumentField::count;
            break;
        case Scope::link:
            keys = linkKeys;
            count = LinkField::count;
            break;
        case Scope::relation:
            keys = relationKeys;
            count = RelationField::count;
            break;
        default:
            break;
        }
        for (int field = 0; field < count; ++field) {
            if (key == keys[field]) {
                if (frame.seen & bit(field))
                    return fail(ErrorKind::duplicateKey, "the key appears twice");
                frame.seen |= bit(field);
                frame.field = field;
                return true;
            }
        }
        if (!frame.otherKeys.insert(key).second)
            return fail(ErrorKind::duplicateKey, "the key appears twice");
        return true;
    }

    bool end_object()
    {
        const Frame& frame = m_stack.back();
        if (frame.scope == Scope::document && !requireFields(frame, requiredDocumentFields, documentKeys))
            return false;
        if (frame.scope == Scope::link && !requireFields(frame, requiredLinkFields, linkKeys))
            return false;
        if (frame.scope == Scope::relation && !requireFields(frame, requiredRelationFields, relationKeys))
            return false;
        return close();
    }

    bool end_array() { return close(); }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&)
    {
        // The parser's own message quotes the offending text, which may be private content.
        if (!error)
            error.emplace(ErrorKind::invalidJSON, QString(),
                          QStringLiteral("not valid JSON in UTF-8 near byte %1").arg(position));
        return false;
    }

private:
    std::vector<Frame> m_stack;
    qsizetype m_maximumRecordCount;
    qsizetype m_recordCount = 0;

    MorvaneLibraryExport::LinkRecord& currentLink() { return document.links.last(); }
    MorvaneLibraryExport::RelationRecord& currentRelation() { return document.relations.last(); }

    bool value(const Value& v)
    {
        Frame& frame = m_stack.back();
        bool accepted = false;
        switch (frame.scope) {
        case Scope::root:
            accepted = v.kind == ValueKind::objectStart ? open(Scope::document) : mismatch(v, "an object");
            break;
        case Scope::document:
            accepted = documentValue(frame, v);
            break;
        case Scope::link:
            accepted = linkValue(frame, v);
            break;
        case Scope::relation:
            accepted = relationValue(frame, v);
            break;
        case Scope::links:
        case Scope::relations:
            if (v.kind != ValueKind::objectStart)
                return mismatch(v, "an object");
            if (++m_recordCount > m_maximumRecordCount) {
                const QString count = QLocale(QLocale::English).toString(m_maximumRecordCount);
                error.emplace(
                    ErrorKind::tooManyRecords, codingPath(true), QStringLiteral("too many records"),
                    QStringLiteral("The backup holds more than %1 links and relations.").arg(count));
                return false;
            }
            if (frame.scope == Scope::links) {
                document.links.emplaceBack();
                return open(Scope::link);
            }
            document.relations.emplaceBack();
            return open(Scope::relation);
        case Scope::tags:
            if (v.kind != ValueKind::string)
                return mismatch(v, "a string");
            currentLink().tags.append(QString::fromStdString(*v.text));
            accepted = true;
            break;
        case Scope::skippedObject:
        case Scope::skippedArray:
            accepted = skip(v);
            break;
        }
        // A scalar element is complete now; a container's index moves on when it closes.
        if (accepted && v.kind != ValueKind::objectStart && v.kind != ValueKind::arrayStart &&
            !isObject(m_stack.back().scope))
            ++m_stack.back().index;
        return accepted;
    }

    bool documentValue(Frame& frame, const Value& v)
    {
        switch (frame.field) {
        case DocumentField::formatVersion:
            return readInteger(v, document.formatVersion);
        case DocumentField::appName:
            return readString(v, document.appName);
        case DocumentField::exportedAt:
            return readDate(v, document.exportedAt);
        case DocumentField::links:
            return v.kind == ValueKind::arrayStart ? open(Scope::links) : mismatch(v, "an array");
        case DocumentField::relations:
            return v.kind == ValueKind::arrayStart ? open(Scope::relations) : mismatch(v, "an array");
        default:
            return skip(v);
        }
    }

    bool linkValue(Frame& frame, const Value& v)
    {
        MorvaneLibraryExport::LinkRecord& record = currentLink();
        switch (frame.field) {
        case LinkField::id:
            return readUuid(v, record.id);
        case LinkField::title:
            return readString(v, record.title);
        case LinkField::url:
            return readString(v, record.url);
        case LinkField::type: {
            QString raw;
            if (!readString(v, raw))
                return false;
            const std::optional<LinkType> linkType = linkTypeFromRawValue(raw);
            if (!linkType)
                return fail(ErrorKind::dataCorrupted, "not a link type");
            record.type = *linkType;
            return true;
        }
        case LinkField::sourceApp:
            return readString(v, record.sourceApp);
        case LinkField::notes:
            return readString(v, record.notes);
        case LinkField::tags:
            return v.kind == ValueKind::arrayStart ? open(Scope::tags) : mismatch(v, "an array");
        case LinkField::lastKnownPath:
            return readOptional(v, record.lastKnownPath, &Reader::readString);
        case LinkField::contentHash:
            return readOptional(v, record.contentHash, &Reader::readString);
        case LinkField::fileSize:
            return readOptional(v, record.fileSize, &Reader::readInteger);
        case LinkField::createdAt:
            return readDate(v, record.createdAt);
        case LinkField::updatedAt:
            return readDate(v, record.updatedAt);
        case LinkField::lastOpenedAt:
            return readOptional(v, record.lastOpenedAt, &Reader::readDate);
        default:
            return skip(v);
        }
    }

    bool relationValue(Frame& frame, const Value& v)
    {
        MorvaneLibraryExport::RelationRecord& record = currentRelation();
        switch (frame.field) {
        case RelationField::id:
            return readUuid(v, record.id);
        case RelationField::fromLinkID:
            return readUuid(v, record.fromLinkID);
        case RelationField::toLinkID:
            return readUuid(v, record.toLinkID);
        case RelationField::createdAt:
            return readDate(v, record.createdAt);
        default:
            return skip(v);
        }
    }

    // A value under a key the format does not define: read for well-formedness (and duplicate keys),
    // then dropped.
    bool skip(const Value& v)
    {
        if (v.kind == ValueKind::objectStart)
            return open(Scope::skippedObject);
        if (v.kind == ValueKind::arrayStart)
            return open(Scope::skippedArray);
        return true;
    }

    template <class T>
    bool readOptional(const Value& v, std::optional<T>& target, bool (Reader::*read)(const Value&, T&))
    {
        if (v.kind == ValueKind::null) {
            target.reset();
            return true;
        }
        T result{};
        if (!(this->*read)(v, result))
            return false;
        target = std::move(result);
        return true;
    }

    bool readString(const Value& v, QString& target)
    {
        if (v.kind != ValueKind::string)
            return mismatch(v, "a string");
        target = QString::fromStdString(*v.text);
        return true;
    }

    bool readInteger(const Value& v, qint64& target)
    {
        switch (v.kind) {
        case ValueKind::integer:
            target = v.integer;
            return true;
        case ValueKind::unsignedInteger:
            if (v.unsignedInteger > static_cast<std::uint64_t>(std::numeric_limits<qint64>::max()))
                return fail(ErrorKind::numberOutOfRange, "the integer does not fit in 64 bits");
            target = static_cast<qint64>(v.unsignedInteger);
            return true;
        case ValueKind::floating:
            if (spellsInteger(*v.text))
                return fail(ErrorKind::numberOutOfRange, "the integer does not fit in 64 bits");
            return mismatch(v, "an integer");
        default:
            return mismatch(v, "an integer");
        }
    }

    bool readUuid(const Value& v, QUuid& target)
    {
        QString text;
        if (!readString(v, text))
            return false;
        const std::optional<QUuid> uuid = parseUuid(text);
        if (!uuid)
            return fail(ErrorKind::dataCorrupted, "not a UUID");
        target = *uuid;
        return true;
    }

    bool readDate(const Value& v, QDateTime& target)
    {
        QString text;
        if (!readString(v, text))
            return false;
        const std::optional<QDateTime> date = parseDocumentDate(text);
        if (!date)
            return fail(ErrorKind::dataCorrupted, "not a date in the form 2024-05-01T09:30:12Z");
        target = *date;
        return true;
    }

    bool requireFields(const Frame& frame, std::uint32_t required, const char* const* keys)
    {
        const std::uint32_t missing = required & ~frame.seen;
        if (missing == 0)
            return true;
        int field = 0;
        while (!(missing & bit(field)))
            ++field;
        QString path = codingPath(false);
        if (!path.isEmpty())
            path += u'.';
        error.emplace(ErrorKind::keyNotFound, path + QLatin1String(keys[field]),
                      QStringLiteral("a required key is missing"));
        return false;
    }

    bool open(Scope scope)
    {
        if (m_stack.size() >= maximumDepth)
            return fail(ErrorKind::nestingTooDeep, "nested too deeply");
        m_stack.emplace_back(scope);
        return true;
    }

    bool close()
    {
        m_stack.pop_back();
        if (!isObject(m_stack.back().scope))
            ++m_stack.back().index;
        return true;
    }

    bool mismatch(const Value& v, const char* expected)
    {
        if (v.kind == ValueKind::null)
            return fail(ErrorKind::valueNotFound,
                        QStringLiteral("expected %1, found null").arg(QLatin1String(expected)));
        return fail(
            ErrorKind::typeMismatch,
            QStringLiteral("expected %1, found %2")
                .arg(QLatin1String(expected), QLatin1String(enumName(valueKindDescriptions, v.kind))));
    }

    bool fail(ErrorKind kind, const QString& detail)
    {
        error.emplace(kind, codingPath(true), detail);
        return false;
    }
    bool fail(ErrorKind kind, const char* detail) { return fail(kind, QString::fromLatin1(detail)); }

    // "links[3].createdAt": every open container with the key or index it is at. withCurrentKey adds the
    // key of the innermost object too (the value being read); without it the path names that object.
    QString codingPath(bool withCurrentKey) const
    {
        QString path;
        for (std::size_t i = 1; i < m_stack.size(); ++i) {
            const Frame& frame = m_stack[i];
            const bool innermost = i + 1 == m_stack.size();
            if (isObject(frame.scope)) {
                if (innermost && !withCurrentKey)
                    break;
                if (!path.isEmpty())
                    path += u'.';
                path += QString::fromStdString(frame.key);
            } else {
                path += QStringLiteral("[%1]").arg(frame.index);
            }
        }
        return path;
    }
};

} // namespace

MorvaneLibraryExport MorvaneLibraryExportDecoder::decode(const QByteArray& bytes) const
{
    Reader reader(maximumRecordCount);
    const bool parsed = json::sax_parse(bytes.constBegin(), bytes.constEnd(), &reader);
    if (reader.error)
        throw *reader.error;
    if (!parsed)
        throw MorvaneLibraryExportDecodingError(ErrorKind::invalidJSON, QString(),
                                                QStringLiteral("not valid JSON"));
    return std::move(reader.document);
}

} // namespace morvane
