#include "MorvaneLibraryExport.h"

#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>

namespace morvane {

namespace {

// nlohmann's plain json keeps object members in a std::map, so every object is written with its keys
// sorted byte-wise, which for the format's ASCII keys is the lexicographic order readers expect.
using nlohmann::json;

std::string utf8(const QString& text)
{
    return text.toStdString();
}

std::string dateText(const QDateTime& date, const char* field)
{
    // Only years 1...9999 have the four-digit form the reader accepts; anything else would give a
    // backup that cannot be imported, so refuse it now.
    if (!date.isValid() || date.toUTC().date().year() < 1 || date.toUTC().date().year() > 9999) {
        throw Error(QStringLiteral("The library could not be exported because a date (%1) cannot be written.")
                        .arg(QLatin1String(field)));
    }
    return utf8(documentDateString(date));
}

json linkObject(const MorvaneLibraryExport::LinkRecord& record)
{
    json tags = json::array();
    for (const QString& tag : record.tags)
        tags.push_back(utf8(tag));

    json object = json::object();
    object["id"] = utf8(uuidString(record.id));
    object["title"] = utf8(record.title);
    object["url"] = utf8(record.url);
    object["type"] = utf8(rawValue(record.type));
    object["sourceApp"] = utf8(record.sourceApp);
    object["notes"] = utf8(record.notes);
    object["tags"] = std::move(tags);
    if (record.lastKnownPath)
        object["lastKnownPath"] = utf8(*record.lastKnownPath);
    if (record.contentHash)
        object["contentHash"] = utf8(*record.contentHash);
    if (record.fileSize)
        object["fileSize"] = static_cast<std::int64_t>(*record.fileSize);
    object["createdAt"] = dateText(record.createdAt, "createdAt");
    object["updatedAt"] = dateText(record.updatedAt, "updatedAt");
    if (record.lastOpenedAt)
        object["lastOpenedAt"] = dateText(*record.lastOpenedAt, "lastOpenedAt");
    return object;
}

json relationObject(const MorvaneLibraryExport::RelationRecord& record)
{
    json object = json::object();
    object["id"] = utf8(uuidString(record.id));
    object["fromLinkID"] = utf8(uuidString(record.fromLinkID));
    object["toLinkID"] = utf8(uuidString(record.toLinkID));
    object["createdAt"] = dateText(record.createdAt, "createdAt");
    return object;
}

} // namespace

QByteArray MorvaneLibraryExportEncoder::encode(const MorvaneLibraryExport& document) const
{
    json links = json::array();
    for (const MorvaneLibraryExport::LinkRecord& record : document.links)
        links.push_back(linkObject(record));
    json relations = json::array();
    for (const MorvaneLibraryExport::RelationRecord& record : document.relations)
        relations.push_back(relationObject(record));

    json root = json::object();
    root["formatVersion"] = static_cast<std::int64_t>(document.formatVersion);
    root["appName"] = utf8(document.appName);
    root["exportedAt"] = dateText(document.exportedAt, "exportedAt");
    root["links"] = std::move(links);
    root["relations"] = std::move(relations);

    // QString::toStdString() already turns unpaired surrogates into U+FFFD, so the text is valid UTF-8;
    // "replace" only guards against dump() throwing half-way.
    const std::string text = root.dump(2, ' ', false, json::error_handler_t::replace);

    // Outside strings JSON has no "/", so escaping every slash in the text escapes exactly those inside
    // keys and values.
    const auto slashes = std::count(text.begin(), text.end(), '/');
    QByteArray bytes(static_cast<qsizetype>(text.size() + slashes), Qt::Uninitialized);
    char* out = bytes.data();
    for (const char c : text) {
        if (c == '/')
            *out++ = '\\';
        *out++ = c;
    }
    return bytes;
}

} // namespace morvane
