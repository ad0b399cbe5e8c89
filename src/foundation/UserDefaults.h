#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace morvane {

// The settings store: typed values under string keys, thread-safe. A persistent instance keeps them
// in one JSON file, rewritten atomically on every change; an in-memory instance (tests, previews)
// keeps them only in memory. Reading a value as another type than the one stored reads as absent;
// a double read also accepts an integer. The keys are named constants kept by the type that owns
// them (KnownRootsStore, LibraryReset, ...).
//
// A change updates the values under a short lock; the file is written afterwards, outside it, by
// the changing thread, so a reader on another thread never waits for the disk. Writes are ordered:
// each one stores the newest values, and one that finds a later change already written is skipped.
//
// File format: a JSON object; booleans, numbers (integers stay integers), strings and arrays as
// themselves, dates as {"$date": "<library date text>"}, bytes as {"$data": "<base64>"}.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    // Puts the whole file in place (atomically); false when it could not.
    using FileWriter = std::function<bool(const QString& filePath, const QByteArray& contents)>;

    // Persistent defaults in the given file (loaded now; a missing file is an empty store). The
    // writer is for tests; by default the file is replaced through QSaveFile.
    explicit UserDefaults(QString filePath, FileWriter writer = {});
    ~UserDefaults() override;

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
    // Announces the key only when it was present.
    void remove(const QString& key);

    QString filePath() const { return m_filePath; }

    // Until resumeWrites(), changes are readable and announced at once but the file is not written:
    // a start keeps its first values (a new machine's identifier) off the disk until its window or
    // icon is up. resumeWrites() writes what changed meanwhile, and so does the destructor.
    void deferWrites();
    void resumeWrites();

signals:
    // After every set and every removal that removed something, once the new value is readable
    // (and written, for a persistent store). It is emitted on the thread that made the change:
    // receivers connect with a context object living on their own thread (the default
    // Qt::AutoConnection then queues the call when the change came from elsewhere) and read the
    // value they need when it arrives; it may have changed again since.
    void changed(const QString& key);

private:
    struct Values;
    UserDefaults();
    void load();
    // Looks the key up and decodes it as T; absent when missing or stored as another type.
    template <class T> std::optional<T> lookup(const QString& key) const;
    // Stores the value under the key, writes the file and announces the key.
    template <class V> void store(const QString& key, V&& value);
    // Writes the newest values unless a change at or after `generation` is already on disk.
    void persist(quint64 generation);

    QString m_filePath;
    FileWriter m_writer;
    std::unique_ptr<Values> m_values; // guarded by m_mutex, with m_generation
    quint64 m_generation = 0;
    bool m_writesDeferred = false; // guarded by m_mutex
    mutable std::mutex m_mutex;
    // Orders the writes: held across one; m_mutex is taken inside it only to copy the values.
    std::mutex m_writeMutex;
    quint64 m_writtenGeneration = 0; // guarded by m_writeMutex
};

} // namespace morvane
