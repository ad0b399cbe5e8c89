#include "UserDefaults.h"

#include "IsoDate.h"
#include "Logging.h"
#include "Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <nlohmann/json.hpp>

#include <utility>

MORVANE_LOGGING_CATEGORY(lcDefaults, "UserDefaults")

namespace morvane {

using nlohmann::json;

struct UserDefaults::Values {
    json object = json::object();
};

namespace {

std::string key8(const QString& key)
{
    return key.toStdString();
}

QString fromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

// The text under a one-member {"$date": ...} / {"$data": ...} object.
std::optional<std::string> taggedText(const json& value, const char* tag)
{
    if (!value.is_object() || value.size() != 1 || !value.contains(tag) || !value.at(tag).is_string())
        return std::nullopt;
    return value.at(tag).get<std::string>();
}

// One decoder per stored type; each answers absent for a value stored as another type.
template <class T> std::optional<T> decode(const json& value);

template <> std::optional<bool> decode(const json& value)
{
    return value.is_boolean() ? std::optional(value.get<bool>()) : std::nullopt;
}

template <> std::optional<qint64> decode(const json& value)
{
    // The parser keeps integers above INT64_MAX unsigned; those do not fit.
    if (value.is_number_unsigned())
        return value.get<std::uint64_t>() <= std::uint64_t(INT64_MAX)
                   ? std::optional(static_cast<qint64>(value.get<std::uint64_t>()))
                   : std::nullopt;
    return value.is_number_integer() ? std::optional(value.get<qint64>()) : std::nullopt;
}

template <> std::optional<double> decode(const json& value)
{
    return value.is_number() ? std::optional(value.get<double>()) : std::nullopt;
}

template <> std::optional<QString> decode(const json& value)
{
    return value.is_string() ? std::optional(fromUtf8(value.get<std::string>())) : std::nullopt;
}

template <> std::optional<QStringList> decode(const json& value)
{
    if (!value.is_array())
        return std::nullopt;
    QStringList list;
    for (const json& element : value) {
        if (!element.is_string())
            return std::nullopt;
        list.append(fromUtf8(element.get<std::string>()));
    }
    return list;
}

template <> std::optional<QDateTime> decode(const json& value)
{
    const auto text = taggedText(value, "$date");
    return text ? parseLibraryDate(fromUtf8(*text)) : std::nullopt;
}

template <> std::optional<QByteArray> decode(const json& value)
{
    const auto text = taggedText(value, "$data");
    if (!text)
        return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromStdString(*text),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? std::optional(*decoded) : std::nullopt;
}

bool writeWithSaveFile(const QString& filePath, const QByteArray& contents)
{
    ensurePrivateDirectory(QFileInfo(filePath).absolutePath());
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.commit()) {
        qCWarning(lcDefaults) << "Could not write settings:" << file.errorString();
        return false;
    }
    return true;
}

} // namespace

UserDefaults::UserDefaults()
    : m_values(std::make_unique<Values>())
{
}

UserDefaults::UserDefaults(QString filePath, FileWriter writer)
    : m_filePath(std::move(filePath))
    , m_writer(writer ? std::move(writer) : FileWriter(writeWithSaveFile))
    , m_values(std::make_unique<Values>())
{
    load();
}

UserDefaults::~UserDefaults()
{
    resumeWrites();
}

void UserDefaults::deferWrites()
{
    std::lock_guard lock(m_mutex);
    m_writesDeferred = true;
}

void UserDefaults::resumeWrites()
{
    quint64 generation = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!std::exchange(m_writesDeferred, false))
            return;
        generation = m_generation;
    }
    persist(generation);
}

std::shared_ptr<UserDefaults> UserDefaults::inMemory()
{
    return std::shared_ptr<UserDefaults>(new UserDefaults());
}

QString UserDefaults::standardFilePath()
{
    return configDirectory() + QStringLiteral("/defaults.json");
}

void UserDefaults::load()
{
    QFile file(m_filePath);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcDefaults) << "Could not read settings:" << file.errorString();
        return;
    }
    const QByteArray bytes = file.readAll();
    json parsed = json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        // Keep the unreadable file for the user instead of overwriting it with the next change.
        const QString aside = m_filePath + QStringLiteral(".unreadable");
        QFile::remove(aside);
        file.close();
        QFile::rename(m_filePath, aside);
        qCWarning(lcDefaults) << "Settings file is not a JSON object; moved aside to" << privateValue(aside);
        return;
    }
    m_values->object = std::move(parsed);
}

template <class T> std::optional<T> UserDefaults::lookup(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values->object.find(key8(key));
    if (it == m_values->object.end())
        return std::nullopt;
    return decode<T>(*it);
}

template <class V> void UserDefaults::store(const QString& key, V&& value)
{
    quint64 generation = 0;
    {
        std::lock_guard lock(m_mutex);
        m_values->object[key8(key)] = std::forward<V>(value);
        generation = ++m_generation;
    }
    persist(generation);
    emit changed(key);
}

void UserDefaults::persist(quint64 generation)
{
    if (m_filePath.isEmpty())
        return;
    std::lock_guard writeLock(m_writeMutex);
    // A writer that went before us while we waited may have stored our change already.
    if (m_writtenGeneration >= generation)
        return;
    json snapshot;
    quint64 snapshotGeneration = 0;
    {
        std::lock_guard lock(m_mutex);
        // resumeWrites() writes it.
        if (m_writesDeferred)
            return;
        snapshot = m_values->object;
        snapshotGeneration = m_generation;
    }
    QByteArray contents = QByteArray::fromStdString(snapshot.dump(2));
    contents.append('\n');
    // On failure the next change tries again with everything.
    if (m_writer(m_filePath, contents))
        m_writtenGeneration = snapshotGeneration;
}

bool UserDefaults::contains(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    return m_values->object.contains(key8(key));
}

std::optional<bool> UserDefaults::boolValue(const QString& key) const
{
    return lookup<bool>(key);
}

std::optional<qint64> UserDefaults::integerValue(const QString& key) const
{
    return lookup<qint64>(key);
}

std::optional<double> UserDefaults::doubleValue(const QString& key) const
{
    return lookup<double>(key);
}

std::optional<QString> UserDefaults::stringValue(const QString& key) const
{
    return lookup<QString>(key);
}

std::optional<QStringList> UserDefaults::stringListValue(const QString& key) const
{
    return lookup<QStringList>(key);
}

std::optional<QDateTime> UserDefaults::dateValue(const QString& key) const
{
    return lookup<QDateTime>(key);
}

std::optional<QByteArray> UserDefaults::dataValue(const QString& key) const
{
    return lookup<QByteArray>(key);
}

void UserDefaults::setBool(const QString& key, bool value)
{
    store(key, value);
}

void UserDefaults::setInteger(const QString& key, qint64 value)
{
    store(key, value);
}

void UserDefaults::setDouble(const QString& key, double value)
{
    store(key, value);
}

void UserDefaults::setString(const QString& key, const QString& value)
{
    store(key, value.toStdString());
}

void UserDefaults::setStringList(const QString& key, const QStringList& value)
{
    json array = json::array();
    for (const QString& element : value)
        array.push_back(element.toStdString());
    store(key, std::move(array));
}

void UserDefaults::setDate(const QString& key, const QDateTime& value)
{
    store(key, json{{"$date", libraryDateString(value).toStdString()}});
}

void UserDefaults::setData(const QString& key, const QByteArray& value)
{
    store(key, json{{"$data", value.toBase64().toStdString()}});
}

void UserDefaults::remove(const QString& key)
{
    quint64 generation = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_values->object.erase(key8(key)) == 0)
            return;
        generation = ++m_generation;
    }
    persist(generation);
    emit changed(key);
}

} // namespace morvane
