#include "sync/RecordFileCodec.h"

#include <algorithm>

#include "foundation/IsoDate.h"
#include "sync/RecordDocumentReader.h"
#include "sync/RecordFormats.h"

#include <QLocale>
#include <QUrl>

#include <nlohmann/json.hpp>

#include <limits>

namespace morvane {

namespace {

using nlohmann::ordered_json;

const QString suffix = QString::fromLatin1(RecordFileCodec::fileSuffix);

QString toQString(const ordered_json& value)
{
    return QString::fromStdString(value.get<std::string>());
}

ordered_json encodeValue(const CloudValue& value)
{
    struct Encoder {
        ordered_json operator()(const QString& text) const { return {{"string", text.toStdString()}}; }
        ordered_json operator()(const QDateTime& date) const
        {
            return {{"date", libraryDateString(date).toStdString()}};
        }
        ordered_json operator()(qint64 number) const { return {{"int64", number}}; }
        ordered_json operator()(double number) const { return {{"double", number}}; }
        ordered_json operator()(const QStringList& list) const
        {
            ordered_json items = ordered_json::array();
            for (const QString& item : list)
                items.push_back(item.toStdString());
            return {{"stringList", items}};
        }
    };
    return std::visit(Encoder{}, value);
}

std::optional<CloudValue> decodeValue(const ordered_json& value)
{
    if (!value.is_object() || value.size() != 1)
        return std::nullopt;
    // Through the object's own iterator: the pair items() yields lives only as long as that proxy.
    const std::string& kind = value.begin().key();
    const ordered_json& content = value.begin().value();
    if (kind == "string" && content.is_string())
        return toQString(content);
    if (kind == "date" && content.is_string()) {
        if (const auto date = parseLibraryDate(toQString(content)))
            return *date;
        return std::nullopt;
    }
    if (kind == "int64" && content.is_number_integer() && !content.is_number_unsigned())
        return content.get<qint64>();
    if (kind == "int64" && content.is_number_unsigned() &&
        content.get<std::uint64_t>() <= std::uint64_t(std::numeric_limits<qint64>::max()))
        return content.get<qint64>();
    if (kind == "double" && content.is_number())
        return content.get<double>();
    if (kind == "stringList" && content.is_array()) {
        QStringList list;
        for (const ordered_json& item : content) {
            if (!item.is_string())
                return std::nullopt;
            list.append(toQString(item));
        }
        return list;
    }
    return std::nullopt;
}

// The one copy of a text that many records hold.
QString shared(QSet<QString>& words, QString text)
{
    if (const auto found = words.constFind(text); found != words.constEnd())
        return *found;
    words.insert(text);
    return text;
}

bool isUuidName(QStringView name)
{
    if (name.size() != 36)
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != u'-' : !((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

bool isPairName(QStringView name)
{
    return name.size() == 73 && name[36] == u'_' && isUuidName(name.first(36)) && isUuidName(name.last(36));
}

} // namespace

bool RecordFileCodec::isPlainCharacter(QChar c)
{
    // "." and "~" are encoded too: no file name of ours starts with a dot or ends in a backup's tilde.
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' ||
           c == u'_';
}

QString RecordFileCodec::fileNameOf(const QString& recordName)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(recordName, {}, ".~")) + suffix;
}

std::optional<QString> RecordFileCodec::recordNameOf(const QString& fileName)
{
    if (!fileName.endsWith(suffix) || fileName.startsWith(u'.'))
        return std::nullopt;
    const QString encoded = fileName.chopped(suffix.size());
    // Most names (every link's and relation's) need no encoding at all, and are their file's name.
    const bool plain = !encoded.isEmpty() && std::all_of(encoded.cbegin(), encoded.cend(), isPlainCharacter);
    if (plain)
        return encoded;
    const QString name = QUrl::fromPercentEncoding(encoded.toLatin1());
    // Only the one spelling we write counts: a copy under another name is not the record.
    if (name.isEmpty() || fileNameOf(name) != fileName)
        return std::nullopt;
    return name;
}

bool RecordFileCodec::mayHoldType(const QString& recordName, const QString& recordType)
{
    if (isUuidName(recordName))
        return recordType == RecordFormats::linkType || recordType == RecordFormats::relationType;
    if (isPairName(recordName))
        return recordType == RecordFormats::relationType;
    return true;
}

QString RecordFileCodec::sizeText(qint64 bytes)
{
    QLocale english = QLocale::c();
    english.setNumberOptions({});
    return QStringLiteral("%1 bytes").arg(english.toString(bytes));
}

QByteArray RecordFileCodec::encode(const CloudRecord& record)
{
    ordered_json fields = ordered_json::object();
    for (auto field = record.fields().constBegin(); field != record.fields().constEnd(); ++field)
        fields[field.key().toStdString()] = encodeValue(field.value());
    const ordered_json document = {{"recordType", record.recordType().toStdString()},
                                   {"recordName", record.recordName().toStdString()},
                                   {"changeTag", record.changeTag().toStdString()},
                                   {"fields", fields}};
    return QByteArray::fromStdString(document.dump(2) + "\n");
}

std::optional<CloudRecord> RecordFileCodec::decode(const QByteArray& bytes)
{
    if (std::optional<CloudRecord> record = RecordDocumentReader(m_words).read(bytes))
        return record;
    return decodeJson(bytes);
}

std::optional<CloudRecord> RecordFileCodec::decodeJson(const QByteArray& bytes)
{
    const ordered_json document = ordered_json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!document.is_object())
        return std::nullopt;
    for (const char* key : {"recordType", "recordName", "changeTag"}) {
        if (!document.contains(key) || !document[key].is_string())
            return std::nullopt;
    }
    if (!document.contains("fields") || !document["fields"].is_object())
        return std::nullopt;
    CloudRecord record(shared(m_words, toQString(document["recordType"])), toQString(document["recordName"]));
    record.setChangeTag(toQString(document["changeTag"]));
    for (const auto& [key, value] : document["fields"].items()) {
        const std::optional<CloudValue> decoded = decodeValue(value);
        if (!decoded)
            return std::nullopt;
        record.set(shared(m_words, QString::fromStdString(key)), *decoded);
    }
    return record;
}

} // namespace morvane
