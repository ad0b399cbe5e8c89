#include "BookmarkRecord.h"

#include "foundation/EnumNames.h"
#include "platform/FileSystemProbe.h"

#include <nlohmann/json.hpp>

namespace morvane {

namespace {

constexpr const char* formatName = "morvane-bookmark";

// A record names what the path was; a symbolic link is recorded as "other", which reads back as other.
constexpr EnumName<FileKind> kindNames[] = {
    {FileKind::regular, "file"},
    {FileKind::directory, "folder"},
    {FileKind::other, "other"},
    {FileKind::symlink, "other"},
};

std::string utf8(const QString& text)
{
    return text.toStdString();
}

std::optional<QString> stringField(const nlohmann::json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return std::nullopt;
    return QString::fromStdString(it->get<std::string>());
}

} // namespace

QByteArray BookmarkRecord::encoded() const
{
    nlohmann::json object; // plain json keeps its keys sorted
    object["format"] = formatName;
    object["version"] = currentVersion;
    object["kind"] = enumName(kindNames, kind);
    object["path"] = utf8(path);
    object["inode"] = inode;
    if (birthTime) {
        object["birthSeconds"] = birthTime->seconds;
        object["birthNanoseconds"] = birthTime->nanoseconds;
    }
    object["volume"] = utf8(volumeIdentifier);
    object["mountPoint"] = utf8(mountPoint);
    object["relativePath"] = utf8(relativePath);
    const std::string text = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size()));
}

std::optional<BookmarkRecord> BookmarkRecord::decode(const QByteArray& data)
{
    const nlohmann::json object = nlohmann::json::parse(data.constBegin(), data.constEnd(), nullptr, false);
    if (!object.is_object())
        return std::nullopt;
    const auto format = stringField(object, "format");
    const auto version = object.find("version");
    if (!format || *format != QLatin1String(formatName) || version == object.end() ||
        !version->is_number_integer() || version->get<qint64>() != currentVersion)
        return std::nullopt;

    BookmarkRecord record;
    const auto kind = stringField(object, "kind");
    const auto path = stringField(object, "path");
    const auto volume = stringField(object, "volume");
    const auto mountPoint = stringField(object, "mountPoint");
    const auto relativePath = stringField(object, "relativePath");
    const auto inode = object.find("inode");
    if (!kind || !path || !volume || !mountPoint || !relativePath || inode == object.end() ||
        !inode->is_number_unsigned())
        return std::nullopt;
    const auto parsedKind = enumValue(kindNames, *kind);
    // A path with U+0000 would lead the system calls to another file.
    if (!parsedKind || path->isEmpty() || pathHoldsNul(*path) || pathHoldsNul(*mountPoint) ||
        pathHoldsNul(*relativePath))
        return std::nullopt;
    record.kind = *parsedKind;
    record.path = *path;
    record.inode = inode->get<quint64>();
    record.volumeIdentifier = *volume;
    record.mountPoint = *mountPoint;
    record.relativePath = *relativePath;

    const auto seconds = object.find("birthSeconds");
    const auto nanoseconds = object.find("birthNanoseconds");
    if (seconds != object.end() || nanoseconds != object.end()) {
        if (seconds == object.end() || nanoseconds == object.end() || !seconds->is_number_integer() ||
            !nanoseconds->is_number_unsigned() || nanoseconds->get<quint64>() >= 1000000000ULL)
            return std::nullopt;
        record.birthTime = FileTimestamp{seconds->get<qint64>(), quint32(nanoseconds->get<quint64>())};
    }
    return record;
}

} // namespace morvane
