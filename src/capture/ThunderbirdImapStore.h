#pragma once

#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace morvane {

// The IMAP folder a Thunderbird message URL names: the message pane's "imap://host:port/fetch>UID>
// .INBOX.Sub>12" (with the server's own separator, and without the user) or the message's own
// "imap-message://user@host/INBOX/Sub#12".
struct ImapFolderReference {
    QString user;
    QString host;
    std::optional<int> port; // when the URL says
    QStringList folder;      // the folder's names, outermost first ("INBOX", "Sub")

    bool operator==(const ImapFolderReference&) const = default;
};

// Nothing for any other URL, and for one whose folder names could lead out of the store.
std::optional<ImapFolderReference> imapFolderOfMessageUrl(const QString& url);

// The IMAP account of a profile that holds the folder, read from the profile's prefs.js.
struct ImapAccount {
    QString user;
    QString host;
    int port = 143;
    QString directory; // the account's offline store, absolute

    bool operator==(const ImapAccount&) const = default;
};
// The store is the folder the account names, inside the profile or not; an account without one whose
// server name is not one plain name (its store would be named after it) is left out.
QList<ImapAccount> imapAccountsOfPreferences(const QByteArray& prefsJs, const QString& profileFolder);

// Where Thunderbird keeps its offline copy of the folder: "<store>/INBOX" for a top folder and
// "<store>/INBOX.sbd/Sub" below it (an mbox file, or a maildir folder where the account stores
// messages one a file). A name already taken when the copy was made gets a number ("INBOX-1"), so
// every file of the folder's name, bare or numbered, that exists is one; a folder never downloaded
// for offline use has none.
QStringList imapOfflineFolderPaths(const QString& storeDirectory, const QStringList& folder);

// Finds the offline copies of a running Thunderbird's IMAP folders: its profile from the files the
// process holds open, the accounts from the profile's preferences (read again only when they change).
// Thread-safe; it reads files, so never on the main thread.
class ThunderbirdImapStore {
public:
    // The offline copies of the message URL's folder in the process's profile; none when the URL
    // names no IMAP folder, the profile cannot be found, no single account of it is the URL's, or the
    // folder has no offline copy.
    QStringList offlineFolders(const QString& messageUrl, qint64 processId);

private:
    struct Profile {
        std::pair<qint64, qint64> stamp; // prefs.js's modification time and size
        QList<ImapAccount> accounts;
    };
    QList<ImapAccount> accountsOf(const QString& profileFolder);

    QMutex m_mutex;
    QHash<QString, Profile> m_profiles;
};

// The profile folder a Thunderbird process runs with: the folder of the lock file it holds open.
std::optional<QString> thunderbirdProfileOfProcess(qint64 processId);

} // namespace morvane
