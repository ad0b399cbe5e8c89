#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

namespace morvane {

class UserDefaults;

// The folders the user named as places to look for moved files, in the order they were added.
// Lives on the main thread. Changing the list does not store it; save() does.
class KnownRootsStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList rootPaths READ rootPaths WRITE setRootPaths NOTIFY rootPathsChanged)

public:
    static inline const QString key = QStringLiteral("fileReconciliation.knownRoots");

    explicit KnownRootsStore(std::shared_ptr<UserDefaults> defaults, QObject* parent = nullptr);

    QStringList rootPaths() const { return m_rootPaths; }
    void setRootPaths(const QStringList& paths);

    // Writes the whole list under key.
    void save();
    // Reads the stored list again, for an owner that must see what another instance saved.
    void reload();

    // The edits the Preferences window makes, each saved at once. Adding a path already listed
    // changes and writes nothing (false); removing drops every entry equal to the path.
    bool addRoot(const QString& path);
    bool removeRoot(const QString& path);

signals:
    void rootPathsChanged();

private:
    std::shared_ptr<UserDefaults> m_defaults;
    QStringList m_rootPaths;
};

} // namespace morvane
