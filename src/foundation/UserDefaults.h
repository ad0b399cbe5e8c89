#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>

namespace morvane {

// The settings store: typed values under string keys, thread-safe. A persistent instance keeps them
// in one JSON file, rewritten atomically on every change; an in-memory instance (tests, previews)
// keeps them only in memory. Reading a value as another type than the one stored reads as absent;
// a double read also accepts an integer.
//
// File format: a JSON object; booleans, numbers (integers stay integers), strings and arrays as
// themselves, dates as {"$date": "<library date text>"}, bytes as {"$data": "<base64>"}.
class UserDefaults {
public:
    // Persistent defaults in the given file (loaded now; a missing file is an empty store).
    explicit UserDefaults(QString filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    static std::shared_ptr<UserDefaults> inMemory();
    // $XDG_CONFIG_HOME/Morvane/defaults.json
    static QString standardFilePath();

    bool contains(const QString& key) const;
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<qint64> integerValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QStringList> stringListValue(const QString& key) const;
    std::optional<QDateTime> dateValue(const QString& key) const;
    std::optional<QByteArray> dataValue(const QString& key) const;

    void setBool(const QString& key, bool value);
    void setInteger(const QString& key, qint64 value);
    void setDouble(const QString& key, double value);
    void setString(const QString& key, const QString& value);
    void setStringList(const QString& key, const QStringList& value);
    void setDate(const QString& key, const QDateTime& value);
    void setData(const QString& key, const QByteArray& value);
    void remove(const QString& key);

    QString filePath() const { return m_filePath; }

private:
    struct Values;
    UserDefaults();
    void load();
    void persistLocked() const;

    QString m_filePath;
    std::unique_ptr<Values> m_values;
    mutable std::mutex m_mutex;
};

} // namespace morvane
