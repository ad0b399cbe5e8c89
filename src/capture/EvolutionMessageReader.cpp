#include "EvolutionMessageReader.h"

#include "capture/MailFolderIndex.h"
#include "capture/MailMessageMatch.h"
#include "capture/MessageLocator.h"
#include "capture/WindowFrame.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "platform/AccessibilityApi.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

MORVANE_LOGGING_CATEGORY(lcEvolutionContext, "MailContext")

namespace morvane {

namespace {

const QString sourceApp = QStringLiteral("Evolution");

// Of a long message list, the rows the cursor is looked for in (its cells come row after row, and a
// list makes each one afresh when asked): beyond them the preview alone says which message it is.
constexpr int maxListChildren = 240;

// Of an IMAP account's folders, how many a search folder's message is looked for in.
constexpr qsizetype maxSearchedFolders = 500;

// The preview's address: "mail://<account>/<folder>/<uid>?<how it is shown>".
struct PreviewAddress {
    QString account;
    QString folder;
    QString uid;
};

std::optional<PreviewAddress> previewAddressOf(const QString& url)
{
    static const QString scheme = QStringLiteral("mail://");
    if (!url.startsWith(scheme))
        return std::nullopt;
    static const QRegularExpression query(QStringLiteral("[?#]"));
    const QString rest = url.mid(scheme.size());
    const QStringList parts = rest.left(rest.indexOf(query)).split(u'/');
    if (parts.size() < 3)
        return std::nullopt;
    const auto decoded = [](const QString& part) { return QUrl::fromPercentEncoding(part.toUtf8()); };
    PreviewAddress address{decoded(parts.first()), decoded(parts.mid(1, parts.size() - 2).join(u'/')),
                           decoded(parts.last())};
    if (address.account.isEmpty() || address.uid.isEmpty())
        return std::nullopt;
    // The folder is a path below its store's: no step of it may lead elsewhere.
    for (const QString& step : address.folder.split(u'/')) {
        if (step.isEmpty() || step == QLatin1String(".") || step == QLatin1String("..") ||
            step.contains(QChar(u'\0')))
            return std::nullopt;
    }
    return address;
}

QString previewUrlOf(const AccessibilityElements& api, const AccessibilityElement& element)
{
    if (api.role(element) != AccessibilityRole::documentWeb)
        return {};
    const QString url = api.documentAttributes(element).value(QStringLiteral("URI"));
    return previewAddressOf(url) ? url : QString();
}

// The preview at the path while it is on screen. The document says it shows whatever it does: the
// mail view keeps its preview, the message it last showed in it, when the preview pane is hidden or
// another view (the calendar) takes the window. What says so is the preview's nearest container that
// says it is visible (its viewport): it shows only while the preview does. The containers between
// them never say either.
std::optional<AccessibilityElement> shownElementAt(const AccessibilityElements& api,
                                                   AccessibilityElement element, const ElementPath& path)
{
    bool containerShows = true;
    for (qsizetype step = 0; step < path.size(); ++step) {
        const std::optional<AccessibilityElement> child = api.childAt(element, path.at(step));
        if (!child)
            return std::nullopt;
        element = *child;
        if (const AccessibilityStates states = api.states(element);
            step + 1 < path.size() && states.testFlag(AccessibilityState::visible))
            containerShows = states.testFlag(AccessibilityState::showing);
    }
    return containerShows ? std::optional(element) : std::nullopt;
}

// The cells of the row holding the list's cursor (its focused cell). The list's first children are its
// column headers, as many as a row has cells; empty when the cursor is not among the first rows.
QStringList cursorRow(const AccessibilityElements& api, const AccessibilityElement& list)
{
    const QList<AccessibilityElement> children = api.children(list, maxListChildren);
    qsizetype columns = 0;
    while (columns < children.size() && api.role(children.at(columns)) != AccessibilityRole::tableCell)
        ++columns;
    if (columns == 0)
        return {};
    for (qsizetype index = columns; index < children.size(); ++index) {
        if (!api.states(children.at(index)).testFlag(AccessibilityState::focused))
            continue;
        const qsizetype start = index - (index - columns) % columns;
        QStringList cells;
        for (qsizetype cell = start; cell < std::min(start + columns, children.size()); ++cell)
            cells.append(api.name(children.at(cell)).value_or(QString()).trimmed());
        return cells;
    }
    return {};
}

BoundedWalk windowWalk()
{
    BoundedWalk walk;
    walk.maxDepth = 40;
    walk.maxNodes = 3000;
    // The preview stands inside containers that say they are not showing.
    walk.showingOnly = false;
    // Lists and the preview are read where they are found, never walked through.
    walk.skipRoles = {
        AccessibilityRole::menuBar,   AccessibilityRole::menu,        AccessibilityRole::popupMenu,
        AccessibilityRole::toolBar,   AccessibilityRole::statusBar,   AccessibilityRole::table,
        AccessibilityRole::treeTable, AccessibilityRole::documentWeb, AccessibilityRole::tableCell};
    return walk;
}

using Selection = EvolutionMessageReader::Selection;

// What the preview and the message list found before show now; nothing when the preview is gone (no
// message selected any more, or another view) and the window must be walked again.
std::optional<Selection> readRememberedParts(const AccessibilityElements& api,
                                             const AccessibilityElement& frame,
                                             const WindowPathMemo::Paths& parts)
{
    const std::optional<AccessibilityElement> preview = shownElementAt(api, frame, parts.first());
    if (!preview)
        return std::nullopt;
    Selection selection;
    selection.previewUrl = previewUrlOf(api, *preview);
    if (selection.previewUrl.isEmpty())
        return std::nullopt;
    if (parts.size() > 1)
        if (const std::optional<AccessibilityElement> list = elementAtPath(api, frame, parts.at(1)))
            selection.cursorRow = cursorRow(api, *list);
    return selection;
}

// Walks the window for the preview of a message and the message list before it (the folder tree comes
// first, the list last, then the preview): the selection they show, and in parts the path to the
// preview, then to the list.
Selection walkForParts(const AccessibilityElements& api, const AccessibilityElement& frame,
                       WindowPathMemo::Paths* parts, bool* listSeen)
{
    Selection selection;
    std::optional<ElementPath> listPath;
    std::optional<ElementPath> previewPath;
    walkWithPaths(api, frame, windowWalk(),
                  [&](const AccessibilityElement& element, const ElementPath& path) {
                      const AccessibilityRole role = api.role(element);
                      if (role == AccessibilityRole::treeTable) {
                          listPath = path;
                      } else if (role == AccessibilityRole::documentWeb) {
                          const QString url = previewUrlOf(api, element);
                          if (!url.isEmpty() && shownElementAt(api, frame, path)) {
                              selection.previewUrl = url;
                              previewPath = path;
                          }
                      }
                      return previewPath.has_value();
                  });
    *listSeen = listPath.has_value();
    parts->clear();
    if (!previewPath)
        return selection;
    parts->append(*previewPath);
    if (listPath) {
        parts->append(*listPath);
        if (const std::optional<AccessibilityElement> list = elementAtPath(api, frame, *listPath))
            selection.cursorRow = cursorRow(api, *list);
    }
    return selection;
}

// Whether the row's cells show the message's subject and sender.
bool rowShows(const QStringList& cells, const StoredMessage& message)
{
    const bool subjectShown =
        message.subject.trimmed().isEmpty() || cells.contains(message.subject.trimmed());
    const QString sender = senderText(message);
    const bool senderShown = sender.isEmpty() || cells.contains(sender) ||
                             cells.contains(message.senderName) || cells.contains(message.senderAddress);
    return subjectShown && senderShown;
}

// A key file's value, with its escapes undone.
QString keyFileValue(QStringView raw)
{
    QString value;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw.at(i) != u'\\' || i + 1 == raw.size()) {
            value.append(raw.at(i));
            continue;
        }
        const QChar escaped = raw.at(++i);
        value.append(escaped == u's'   ? QChar(u' ')
                     : escaped == u'n' ? QChar(u'\n')
                     : escaped == u't' ? QChar(u'\t')
                     : escaped == u'r' ? QChar(u'\r')
                                       : escaped);
    }
    return value;
}

// Where a mail account keeps its folders, from its source file: its kind of store ("maildir", "mbox",
// "spool", "spooldir", or a server's) and the folder or file its settings name.
struct AccountStore {
    QString backend;
    QString path;
};

std::optional<AccountStore> accountStoreFromFile(const QString& file)
{
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    AccountStore store;
    QString group;
    QHash<QString, QString> paths; // of each "<Kind> Backend" group
    while (!source.atEnd()) {
        const QString line = QString::fromUtf8(source.readLine(64 * 1024)).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (line.startsWith(u'#') || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = keyFileValue(QStringView(line).mid(equals + 1).trimmed());
        if (group == QLatin1String("Mail Account") && key == QLatin1String("BackendName"))
            store.backend = value;
        else if (group.endsWith(QLatin1String(" Backend")) && key == QLatin1String("Path"))
            paths.insert(group.chopped(8).toLower(), value);
    }
    if (store.backend.isEmpty())
        return std::nullopt;
    store.path = paths.value(store.backend.toLower());
    return store;
}

std::optional<AccountStore> accountStore(const QString& account)
{
    if (account.startsWith(u'.') || account.contains(u'/') || account.contains(QChar(u'\0')))
        return std::nullopt;
    const QString sources = configHome() + QStringLiteral("/evolution/sources/");
    if (std::optional<AccountStore> store =
            accountStoreFromFile(sources + account + QStringLiteral(".source")))
        return store;
    // The store "On This Computer" is there before its source file is written.
    if (account == QLatin1String("local"))
        return AccountStore{QStringLiteral("maildir"), dataHome() + QStringLiteral("/evolution/mail/local")};
    return std::nullopt;
}

// A maildir store's folder: "Inbox" is the store's own folder, any other one a ".Name" folder beside
// it, with "/" between the names of nested folders written as ".".
QString maildirFolder(const QString& store, const QString& folder)
{
    if (folder.compare(QLatin1String("Inbox"), Qt::CaseInsensitive) == 0)
        return store;
    QString name = folder;
    return store + QStringLiteral("/.") + name.replace(u'/', u'.');
}

// An mbox store's folder file: a folder per file, nested ones in "<parent>.sbd" (the "mbox" kind) or
// in a plain folder (the "spooldir" kind); a "spool" store is one file.
QString mboxFolderFile(const AccountStore& store, const QString& folder)
{
    if (store.backend == QLatin1String("spool"))
        return store.path;
    QString path = folder;
    if (store.backend == QLatin1String("mbox"))
        path.replace(u'/', QStringLiteral(".sbd/"));
    return store.path + u'/' + path;
}

// Every account's store, by the account's uid.
QList<std::pair<QString, AccountStore>> allAccountStores()
{
    QList<std::pair<QString, AccountStore>> stores;
    const QDir sources(configHome() + QStringLiteral("/evolution/sources"));
    if (!sources.exists(QStringLiteral("local.source")))
        stores.append({QStringLiteral("local"), *accountStore(QStringLiteral("local"))});
    for (const QString& file : sources.entryList({QStringLiteral("*.source")}, QDir::Files)) {
        if (const std::optional<AccountStore> store = accountStoreFromFile(sources.filePath(file)))
            stores.append({QFileInfo(file).completeBaseName(), *store});
    }
    return stores;
}

// Whether a uid can name a file without leading elsewhere.
bool isFileName(const QString& uid)
{
    return !uid.isEmpty() && !uid.startsWith(u'.') && !uid.contains(u'/') && !uid.contains(QChar(u'\0'));
}

// An IMAP account's cache: "folders/<name>", each nested folder's name after "subfolders/".
QString imapCacheFolder(const QString& account, const QString& folder)
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/evolution/mail/") + account + QStringLiteral("/folders/") +
           folder.split(u'/').join(QStringLiteral("/subfolders/"));
}

// The copy an IMAP folder's cache keeps of the message Evolution showed: "cur/<bucket>/<uid>", the
// bucket two hex digits of the uid's string hash (GLib's, bits 5 to 10).
std::optional<StoredMessage> cachedImapMessage(const QString& folderCache, const QString& uid)
{
    quint32 hash = 5381;
    for (const char byte : uid.toUtf8())
        hash = hash * 33 + quint32(qint32(static_cast<signed char>(byte)));
    const QString bucket = QStringLiteral("%1").arg((hash >> 5) & 0x3f, 2, 16, QLatin1Char('0'));
    const QString file = folderCache + QStringLiteral("/cur/") + bucket + u'/' + uid;
    return QFileInfo(file).isFile() ? messageInFile(file) : std::nullopt;
}

// A search folder names its messages by eight characters of the folder they are in, then their uid. A
// maildir's unique name says which message it is; an IMAP uid is counted in each folder on its own,
// so the row under the cursor tells which of the folders' messages of that uid it is.
std::optional<StoredMessage> searchFolderMessage(const QString& uid, const QStringList& cursorRow)
{
    constexpr qsizetype folderMark = 8;
    const QString unique = uid.mid(folderMark);
    if (uid.size() <= folderMark || !isFileName(unique))
        return std::nullopt;
    QList<StoredMessage> shown;
    for (const auto& [account, store] : allAccountStores()) {
        if (store.backend == QLatin1String("maildir") && !store.path.isEmpty()) {
            QStringList folders{store.path};
            for (const QString& folder :
                 QDir(store.path).entryList({QStringLiteral(".*")}, QDir::Dirs | QDir::NoDotAndDotDot))
                folders.append(QDir(store.path).filePath(folder));
            for (const QString& folder : folders)
                if (std::optional<StoredMessage> message = maildirMessage(folder, unique))
                    return message;
        } else if (store.backend == QLatin1String("imapx") && isFileName(account)) {
            // Folders nest below "subfolders": a bounded number of them is looked in.
            const QDir top(imapCacheFolder(account, QString()));
            QStringList folders;
            for (const QString& name : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                folders.append(top.filePath(name));
            for (qsizetype next = 0; next < folders.size() && next < maxSearchedFolders; ++next) {
                if (std::optional<StoredMessage> message = cachedImapMessage(folders.at(next), unique);
                    message && rowShows(cursorRow, *message))
                    shown.append(*message);
                const QDir nested(folders.at(next) + QStringLiteral("/subfolders"));
                for (const QString& name : nested.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                    folders.append(nested.filePath(name));
            }
        }
    }
    if (shown.isEmpty() || std::any_of(shown.cbegin(), shown.cend(), [&](const StoredMessage& message) {
            return message.messageID != shown.first().messageID;
        }))
        return std::nullopt;
    return shown.first();
}

} // namespace

bool isEvolutionIdentifier(const QString& identifier)
{
    const QString lower = identifier.toLower();
    return lower == QLatin1String("org.gnome.evolution") || lower == QLatin1String("evolution");
}

EvolutionMessageReader::EvolutionMessageReader(std::shared_ptr<AccessibilityElements> accessibility,
                                               std::shared_ptr<MailFolderIndex> folderIndex)
    : m_accessibility(std::move(accessibility))
    , m_folderIndex(std::move(folderIndex))
{
}

std::optional<EvolutionMessageReader::Selection>
EvolutionMessageReader::readSelection(const DesktopWindow& window) const
{
    QFuture<std::optional<Selection>> reading = m_accessibility->run(
        [window, memo = m_parts](AccessibilityElements& api) -> std::optional<Selection> {
            const std::optional<AccessibilityElement> frame =
                windowFrame(api, window.application.processId, window.title);
            if (!frame)
                return std::nullopt;
            const WindowPathMemo::Window key{window.windowId, window.title};
            // Read before the walk: a change announced while it runs moves it.
            const std::optional<quint64> changeStamp = api.changeStamp();
            if (const std::optional<WindowPathMemo::Paths> known = memo->paths(key, changeStamp)) {
                if (known->isEmpty())
                    return Selection{}; // walked as it is now: neither a list nor a preview
                if (std::optional<Selection> selection = readRememberedParts(api, *frame, *known))
                    return selection;
                memo->forget(key);
            }
            WindowPathMemo::Paths parts;
            bool listSeen = false;
            Selection selection = walkForParts(api, *frame, &parts, &listSeen);
            // A list without a preview has no message selected yet: walked again once one may be (the
            // preview appears then), which the bus announces; at every read where it cannot tell.
            if (!parts.isEmpty() || !listSeen)
                memo->remember(key, parts);
            else if (changeStamp)
                memo->remember(key, parts, changeStamp);
            return selection;
        });
    return jobAnswer(reading);
}

WindowReading EvolutionMessageReader::read(const DesktopWindow& window) const
{
    const std::optional<Selection> selection = readSelection(window);
    if (!selection)
        return std::nullopt;
    return contextOf(*selection);
}

WindowReading EvolutionMessageReader::contextOf(const Selection& selection) const
{
    const std::optional<PreviewAddress> address = previewAddressOf(selection.previewUrl);
    if (!address)
        return WindowReading::nothingBecause(captureReason::noMessageSelected(sourceApp));

    std::optional<StoredMessage> message;
    if (address->account == QLatin1String("vfolder")) {
        message = searchFolderMessage(address->uid, selection.cursorRow);
    } else if (const std::optional<AccountStore> store = accountStore(address->account)) {
        if (store->backend == QLatin1String("maildir")) {
            message = maildirMessage(maildirFolder(store->path, address->folder), address->uid);
        } else if (store->backend == QLatin1String("mbox") || store->backend == QLatin1String("spool") ||
                   store->backend == QLatin1String("spooldir")) {
            // An mbox's uids are Evolution's own: the row under the cursor tells its message.
            const QList<StoredMessage> messages =
                m_folderIndex->messages(mboxFolderFile(*store, address->folder));
            if (!selection.cursorRow.isEmpty())
                message = messageOfRow(messages, selection.cursorRow.join(QStringLiteral(", ")));
        } else if (store->backend == QLatin1String("imapx")) {
            if (isFileName(address->account) && isFileName(address->uid))
                message = cachedImapMessage(imapCacheFolder(address->account, address->folder), address->uid);
        } else {
            return WindowReading::nothingBecause(captureReason::accountNotRead(sourceApp));
        }
    } else {
        return WindowReading::nothingBecause(captureReason::accountNotRead(sourceApp));
    }
    if (!message || message->messageID.isEmpty()) {
        qCInfo(lcEvolutionContext) << "Ignored Evolution message not found in its folder";
        return std::nullopt;
    }
    // The preview follows the list's selection a moment later: a cursor row showing another message
    // means the preview is about to change.
    if (!selection.cursorRow.isEmpty() && !rowShows(selection.cursorRow, *message)) {
        qCInfo(lcEvolutionContext) << "Ignored Evolution preview of a message the list does not select";
        return std::nullopt;
    }
    return CapturedContext{mailMessageTitle(message->subject, senderText(*message)),
                           messageLocator(message->messageID), LinkType::mail, sourceApp, std::nullopt};
}

} // namespace morvane
