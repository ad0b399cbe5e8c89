#include "ThunderbirdImapStore.h"

#include "platform/ProcessOpenFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QUrl>

namespace morvane {

namespace {

const QLatin1String fetchPrefix("/fetch>UID>");

// A folder name Thunderbird keeps as a file of that name: nothing that would lead elsewhere.
bool plainFolderName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(u'/') && !name.contains(QChar(u'\0'));
}

// The text of a string preference's value, its escapes undone.
QString unescaped(QStringView quoted)
{
    QString text;
    text.reserve(quoted.size());
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == u'\\' && i + 1 < quoted.size())
            ++i;
        text.append(quoted[i]);
    }
    return text;
}

// The account's offline store, where Thunderbird itself looks: a "[ProfD]" relative directory under the
// profile, else the absolute one, wherever either leads (Account Settings lets the user keep it
// anywhere, and only Message-IDs are read from it). An account not yet given a directory keeps its
// messages under the server's name in the profile, and only there is the name used as a folder name:
// one that is not a single plain component is no account's.
std::optional<QString> storeDirectory(const QHash<QString, QString>& server, const QString& profileFolder)
{
    const QString profile = QDir(profileFolder).absolutePath();
    const QString relative = server.value(QStringLiteral("directory-rel"));
    const QLatin1String profileMark("[ProfD]");
    const QString absolute = server.value(QStringLiteral("directory"));
    if (relative.startsWith(profileMark))
        return QDir::cleanPath(profile + u'/' + relative.mid(profileMark.size()));
    if (absolute.startsWith(u'/'))
        return QDir::cleanPath(absolute);
    const QString host = server.value(QStringLiteral("hostname"));
    if (!plainFolderName(host))
        return std::nullopt;
    return QDir::cleanPath(profile + QStringLiteral("/ImapMail/") + host);
}

} // namespace

std::optional<ImapFolderReference> imapFolderOfMessageUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return std::nullopt;
    ImapFolderReference reference{parsed.userName(QUrl::FullyDecoded), parsed.host(), std::nullopt, {}};
    if (parsed.port() > 0)
        reference.port = parsed.port();
    const QString path = parsed.path(QUrl::FullyDecoded);

    if (parsed.scheme() == QLatin1String("imap-message")) {
        // The folder's URI: its names joined by "/", whatever the server's own separator.
        reference.folder = path.mid(1).split(u'/');
    } else if (parsed.scheme() == QLatin1String("imap") && path.startsWith(fetchPrefix)) {
        // "fetch>UID>", the server's separator, the folder's name on the server, ">", the message.
        const QString rest = path.mid(fetchPrefix.size());
        const qsizetype end = rest.lastIndexOf(u'>');
        if (rest.size() < 2 || end < 2)
            return std::nullopt;
        reference.folder = rest.mid(1, end - 1).split(rest.at(0));
    } else {
        return std::nullopt;
    }
    for (const QString& name : reference.folder) {
        if (!plainFolderName(name))
            return std::nullopt;
    }
    return reference;
}

QList<ImapAccount> imapAccountsOfPreferences(const QByteArray& prefsJs, const QString& profileFolder)
{
    static const QRegularExpression pref(QString::fromLatin1(
        R"re(^\s*user_pref\(\s*"mail\.server\.([A-Za-z0-9_]+)\.([A-Za-z_.-]+)"\s*,\s*("((?:[^"\\]|\\.)*)"|[^)\s]+)\s*\)\s*;)re"));
    QHash<QString, QHash<QString, QString>> servers;
    QStringList order;
    for (const QByteArray& line : prefsJs.split('\n')) {
        const QRegularExpressionMatch match = pref.match(QString::fromUtf8(line));
        if (!match.hasMatch())
            continue;
        const QString server = match.captured(1);
        if (!servers.contains(server))
            order.append(server);
        const QString value = match.capturedLength(4) > 0 || match.captured(3).startsWith(u'"')
                                  ? unescaped(match.capturedView(4))
                                  : match.captured(3);
        servers[server].insert(match.captured(2), value);
    }
    QList<ImapAccount> accounts;
    for (const QString& id : order) {
        const QHash<QString, QString>& server = servers.value(id);
        if (server.value(QStringLiteral("type")) != QLatin1String("imap"))
            continue;
        const QString host = server.value(QStringLiteral("hostname"));
        const std::optional<QString> directory = storeDirectory(server, profileFolder);
        if (host.isEmpty() || !directory)
            continue;
        bool portRead = false;
        const int port = server.value(QStringLiteral("port")).toInt(&portRead);
        accounts.append(
            {server.value(QStringLiteral("userName")), host, portRead && port > 0 ? port : 143, *directory});
    }
    return accounts;
}

QStringList imapOfflineFolderPaths(const QString& storeDirectory, const QStringList& folder)
{
    if (folder.isEmpty())
        return {};
    QString parent = storeDirectory;
    for (qsizetype i = 0; i + 1 < folder.size(); ++i)
        parent += u'/' + folder.at(i) + QLatin1String(".sbd");
    const QString& name = folder.last();
    static const QRegularExpression numbered(QStringLiteral("^-[0-9]{1,4}$"));
    QStringList paths;
    for (const QFileInfo& entry : QDir(parent).entryInfoList(
             {name + u'*'}, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString rest = entry.fileName().mid(name.size());
        if (entry.fileName().startsWith(name) && (rest.isEmpty() || numbered.match(rest).hasMatch()))
            paths.append(entry.filePath());
    }
    return paths;
}

std::optional<QString> thunderbirdProfileOfProcess(qint64 processId)
{
    for (const QString& lock : openFilesOfProcess(processId, QStringLiteral("parentlock"))) {
        const QFileInfo info(lock);
        if (info.fileName() == QLatin1String(".parentlock") &&
            QFileInfo::exists(info.dir().filePath(QStringLiteral("prefs.js"))))
            return info.absolutePath();
    }
    return std::nullopt;
}

QStringList ThunderbirdImapStore::offlineFolders(const QString& messageUrl, qint64 processId)
{
    const std::optional<ImapFolderReference> reference = imapFolderOfMessageUrl(messageUrl);
    if (!reference)
        return {};
    const std::optional<QString> profile = thunderbirdProfileOfProcess(processId);
    if (!profile)
        return {};
    std::optional<ImapAccount> found;
    for (const ImapAccount& account : accountsOf(*profile)) {
        // The message pane's URL names no user: the server and port tell the account then.
        if (account.host.compare(reference->host, Qt::CaseInsensitive) != 0 ||
            (!reference->user.isEmpty() && account.user != reference->user) ||
            (reference->port && *reference->port != account.port))
            continue;
        // Two accounts on one server that the URL cannot tell apart: neither is taken.
        if (found)
            return {};
        found = account;
    }
    return found ? imapOfflineFolderPaths(found->directory, reference->folder) : QStringList();
}

QList<ImapAccount> ThunderbirdImapStore::accountsOf(const QString& profileFolder)
{
    const QString prefsPath = QDir(profileFolder).filePath(QStringLiteral("prefs.js"));
    // Thunderbird rewrites the whole file when a preference changes.
    const QFileInfo info(prefsPath);
    const std::pair<qint64, qint64> stamp{info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1,
                                          info.size()};
    {
        const QMutexLocker lock(&m_mutex);
        const auto known = m_profiles.constFind(profileFolder);
        if (known != m_profiles.constEnd() && known->stamp == stamp)
            return known->accounts;
    }
    QFile prefs(prefsPath);
    QList<ImapAccount> accounts;
    if (prefs.open(QIODevice::ReadOnly))
        accounts = imapAccountsOfPreferences(prefs.readAll(), profileFolder);
    const QMutexLocker lock(&m_mutex);
    m_profiles.insert(profileFolder, {stamp, accounts});
    return accounts;
}

} // namespace morvane
