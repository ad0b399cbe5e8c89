#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace morvane {

// One field value of a record. Numbers keep the type they were written with: a reader that wants a
// 64-bit integer also takes a floating-point number, through its integer value.
using CloudValue = std::variant<QString, QDateTime, qint64, double, QStringList>;

// A record of the private record store: its type, its name (unique in the store, whatever the type)
// and its fields. The change tag is the store's: empty for a record not yet saved, otherwise the tag
// of the stored version the record was read from. Saving a record whose tag is no longer the stored
// one is refused, so two machines cannot overwrite each other's change unseen.
class CloudRecord {
public:
    CloudRecord() = default;
    CloudRecord(QString recordType, QString recordName)
        : m_recordType(std::move(recordType))
        , m_recordName(std::move(recordName))
    {
    }

    const QString& recordType() const { return m_recordType; }
    const QString& recordName() const { return m_recordName; }
    const QString& changeTag() const { return m_changeTag; }
    void setChangeTag(QString tag) { m_changeTag = std::move(tag); }

    const QMap<QString, CloudValue>& fields() const { return m_fields; }
    void set(const QString& key, CloudValue value) { m_fields.insert(key, std::move(value)); }
    // Sets the value, or clears the field (no value at all) when there is none.
    template <class T> void setOptional(const QString& key, const std::optional<T>& value)
    {
        if (value)
            set(key, *value);
        else
            clear(key);
    }
    void clear(const QString& key) { m_fields.remove(key); }

    std::optional<QString> string(const QString& key) const { return get<QString>(key); }
    std::optional<QDateTime> date(const QString& key) const { return get<QDateTime>(key); }
    std::optional<QStringList> stringList(const QString& key) const { return get<QStringList>(key); }
    // Any number, as a 64-bit integer.
    std::optional<qint64> int64(const QString& key) const;

    // Type, name and fields; the change tag says where a copy came from, not what it holds.
    bool sameContent(const CloudRecord& other) const
    {
        return m_recordType == other.m_recordType && m_recordName == other.m_recordName &&
               m_fields == other.m_fields;
    }

private:
    template <class T> std::optional<T> get(const QString& key) const
    {
        const auto found = m_fields.constFind(key);
        if (found == m_fields.constEnd())
            return std::nullopt;
        if (const T* value = std::get_if<T>(&*found))
            return *value;
        return std::nullopt;
    }

    QString m_recordType;
    QString m_recordName;
    QString m_changeTag;
    QMap<QString, CloudValue> m_fields;
};

} // namespace morvane
