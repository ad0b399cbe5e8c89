#include "UserDefaults.h"

#include "IsoDate.h"
#include "Logging.h"
#include "Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <nlohmann/json.hpp>

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

bool isTagged(const json& value, const char* tag)
{
    return value.is_object() && value.size() == 1 && value.contains(tag) && value.at(tag).is_string();
}

} // namespace

UserDefaults::UserDefaults()
    : m_values(std::make_unique<Values>())
{
}

UserDefaults::UserDefaults(QString filePath)
    : m_filePath(std::move(filePath))
    , m_values(std::make_unique<Values>())
{
    load();
}

UserDefaults::~UserDefaults() = default;

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

void UserDefaults::persistLocked() const
{
    if (m_filePath.isEmpty())
        return;
    ensurePrivateDirectory(QFileInfo(m_filePath).absolutePath());
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcDefaults) << "Could not write settings:" << file.errorString();
        return;
    }
    const std::string text = m_values->object.dump(2);
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.write("\n");
    if (!file.commit())
        qCWarning(lcDefaults) << "Could not write settings:" << file.errorString();
}

bool UserDefaults::contains(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    return m_values->object.contains(key8(key));
}

std::optional<bool> UserDefaults::boolValue(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values->object.find(key8(key));
    if (it == m_values->object.end() || !it->is_boolean())
        return std::nullopt;
    return it->get<bool>();
}

std::optional<qint64> UserDefaults::integerValue(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values->object.find(key8(key));
    if (it == m_values->object.end())
        return std::nullopt;
    if (it->is_number_integer() && !it->is_number_unsigned())
        return it->get<qint64>();
    if (it->is_number_unsigned() && it->get<std::uint64_t>() <= std::uint64_t(INT64_MAX))
        return static_cast<qint64>(it->get<std::uint64_t>());
    return std::nullopt;
}

std::optional<double> UserDefaults::doubleValue(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values->object.find(key8(key));
    if (it == m_values->object.end() || !it->is_number())
        return std::nullopt;
    return it->get<double>();
}

std::optional<QString> UserDefaults::stringValue(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values->object.find(key8(key));
    if (it == m_values->object.end() || !it->is_string())
        return std::nullopt;
    return fromUtf8(it->get<std::string>());
}

std::optional<QStringList> UserDefaults::stringListValue(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values->object.find(key8(key));
    if (it == m_values->object.end() || !it->is_array())
        return std::nullopt;
    QStringList list;
    for (const json& element : *it) {
        if (!element.is_string())
            return std::nullopt;
        list.append(fromUtf8(element.get<std::string>()));
    }
    return list;
}

std::optional<QDateTime> UserDefaults::dateValue(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values->object.find(key8(key));
    if (it == m_values->object.end() || !isTagged(*it, "$date"))
        return std::nullopt;
    return parseLibraryDate(fromUtf8(it->at("$date").get<std::string>()));
}

std::optional<QByteArray> UserDefaults::dataValue(const QString& key) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_values->object.find(key8(key));
    if (it == m_values->object.end() || !isTagged(*it, "$data"))
        return std::nullopt;
    const std::string text = it->at("$data").get<std::string>();
    auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromStdString(text),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

#define MORVANE_DEFAULTS_SET(expr)                                                                           \
    do {                                                                                                     \
        std::lock_guard lock(m_mutex);                                                                       \
        m_values->object[key8(key)] = (expr);                                                                \
        persistLocked();                                                                                     \
    } while (false)

void UserDefaults::setBool(const QString& key, bool value)
{
    MORVANE_DEFAULTS_SET(value);
}
void UserDefaults::setInteger(const QString& key, qint64 value)
{
    MORVANE_DEFAULTS_SET(value);
}
void UserDefaults::setDouble(const QString& key, double value)
{
    MORVANE_DEFAULTS_SET(value);
}
void UserDefaults::setString(const QString& key, const QString& value)
{
    MORVANE_DEFAULTS_SET(value.toStdString());
}

void UserDefaults::setStringList(const QString& key, const QStringList& value)
{
    json array = json::array();
    for (const QString& element : value)
        array.push_back(element.toStdString());
    MORVANE_DEFAULTS_SET(std::move(array));
}

void UserDefaults::setDate(const QString& key, const QDateTime& value)
{
    MORVANE_DEFAULTS_SET((json{{"$date", libraryDateString(value).toStdString()}}));
}

void UserDefaults::setData(const QString& key, const QByteArray& value)
{
    MORVANE_DEFAULTS_SET((json{{"$data", value.toBase64().toStdString()}}));
}

#undef MORVANE_DEFAULTS_SET

void UserDefaults::remove(const QString& key)
{
    std::lock_guard lock(m_mutex);
    if (m_values->object.erase(key8(key)) > 0)
        persistLocked();
}

} // namespace morvane
