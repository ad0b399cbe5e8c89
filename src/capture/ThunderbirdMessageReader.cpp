#include "ThunderbirdMessageReader.h"

#include "capture/MailFolderIndex.h"
#include "capture/MailMessageMatch.h"
#include "capture/MessageLocator.h"
#include "capture/ThunderbirdImapStore.h"
#include "capture/WindowFrame.h"
#include "foundation/Logging.h"
#include "platform/AccessibilityApi.h"

#include <algorithm>

MORVANE_LOGGING_CATEGORY(lcThunderbirdContext, "MailContext")

namespace morvane {

namespace {

bool isMessageRow(AccessibilityRole role)
{
    // The folder pane's folders are tree items; the message list's rows are list items (cards) or
    // table rows.
    return role == AccessibilityRole::listItem || role == AccessibilityRole::tableRow;
}

} // namespace

bool isThunderbirdIdentifier(const QString& identifier)
{
    const QString lower = identifier.toLower();
    // Thunderbird's window class carries its profile's name ("thunderbird-default").
    return lower == QLatin1String("thunderbird") || lower.startsWith(QLatin1String("thunderbird-")) ||
           lower == QLatin1String("org.mozilla.thunderbird") || lower == QLatin1String("thunderbird-esr");
}

ThunderbirdMessageReader::ThunderbirdMessageReader(std::shared_ptr<AccessibilityElements> accessibility,
                                                   std::shared_ptr<MailFolderIndex> folderIndex)
    : m_accessibility(std::move(accessibility))
    , m_folderIndex(std::move(folderIndex))
    , m_imapStore(std::make_shared<ThunderbirdImapStore>())
{
}

namespace {

// The message pane's address, when it shows a message.
QString messageUrlOf(const AccessibilityElements& api, const AccessibilityElement& element)
{
    if (api.role(element) != AccessibilityRole::documentWeb)
        return {};
    const QString url = api.documentAttributes(element).value(QStringLiteral("DocURL"));
    return isMailMessageUrl(url) ? url : QString();
}

// The name of the list's first selected message row; empty when none is selected.
QString selectedRowName(const AccessibilityElements& api, const AccessibilityElement& list)
{
    const auto nameIfSelectedRow = [&](const AccessibilityElement& row) {
        if (!isMessageRow(api.role(row)) || !api.states(row).testFlag(AccessibilityState::selected))
            return QString();
        return api.name(row).value_or(QString());
    };
    for (const AccessibilityElement& row : api.selectedChildren(list))
        if (const QString name = nameIfSelectedRow(row); !name.isEmpty())
            return name;
    // A list that does not say what it selects: its rows, which it holds only for what is on screen.
    for (const AccessibilityElement& row : api.children(list, 200))
        if (const QString name = nameIfSelectedRow(row); !name.isEmpty())
            return name;
    return {};
}

BoundedWalk windowWalk()
{
    BoundedWalk walk;
    walk.maxDepth = 30;
    walk.maxNodes = 3000;
    // Rows are visited, never entered: their cells say nothing their name does not. The folder pane's
    // folders are tree items, also left unentered.
    walk.skipRoles = {AccessibilityRole::menuBar,  AccessibilityRole::menu,      AccessibilityRole::popupMenu,
                      AccessibilityRole::toolBar,  AccessibilityRole::statusBar, AccessibilityRole::listItem,
                      AccessibilityRole::tableRow, AccessibilityRole::treeItem};
    return walk;
}

using Selection = ThunderbirdMessageReader::Selection;

// What the message list and pane found before show now: the selection, with an empty row when no
// message is selected; nothing when either is gone, or the pane was not seen yet, and the window must
// be walked again.
std::optional<Selection> readRememberedParts(const AccessibilityElements& api,
                                             const AccessibilityElement& frame,
                                             const WindowPathMemo::Paths& parts)
{
    const std::optional<AccessibilityElement> list = elementAtPath(api, frame, parts.first());
    if (!list || isMessageRow(api.role(*list)))
        return std::nullopt;
    Selection selection;
    selection.rowName = selectedRowName(api, *list);
    if (selection.rowName.isEmpty())
        return selection; // no message selected: the pane shows none
    if (parts.size() > 1)
        if (const std::optional<AccessibilityElement> pane = elementAtPath(api, frame, parts.at(1)))
            selection.messageUrl = messageUrlOf(api, *pane);
    if (selection.messageUrl.isEmpty())
        return std::nullopt;
    return selection;
}

// Walks the window for the message list (the list of rows inside the thread pane's table; a list of
// rows elsewhere, the spaces bar, is not it) and the message pane: the selection they show, and in
// parts the path to the list, then to the pane when it showed a message.
Selection walkForParts(const AccessibilityElements& api, const AccessibilityElement& frame,
                       WindowPathMemo::Paths* parts)
{
    Selection selection;
    QList<ElementPath> tables;
    std::optional<ElementPath> listPath;
    std::optional<ElementPath> panePath;
    const auto insideTable = [&](const ElementPath& path) {
        return std::any_of(tables.cbegin(), tables.cend(), [&](const ElementPath& table) {
            return path.size() > table.size() && path.first(table.size()) == table;
        });
    };
    walkWithPaths(api, frame, windowWalk(),
                  [&](const AccessibilityElement& element, const ElementPath& path) {
                      const AccessibilityRole role = api.role(element);
                      if (role == AccessibilityRole::table || role == AccessibilityRole::treeTable) {
                          tables.append(path);
                      } else if (isMessageRow(role) && insideTable(path) && selection.rowName.isEmpty()) {
                          if (!listPath || api.states(element).testFlag(AccessibilityState::selected))
                              listPath = path.first(path.size() - 1);
                          if (api.states(element).testFlag(AccessibilityState::selected))
                              selection.rowName = api.name(element).value_or(QString());
                      } else if (role == AccessibilityRole::documentWeb && selection.messageUrl.isEmpty()) {
                          selection.messageUrl = messageUrlOf(api, element);
                          if (!selection.messageUrl.isEmpty())
                              panePath = path;
                      }
                      return !selection.rowName.isEmpty() && !selection.messageUrl.isEmpty();
                  });
    parts->clear();
    if (listPath) {
        parts->append(*listPath);
        if (panePath)
            parts->append(*panePath);
    }
    return selection;
}

} // namespace

std::optional<ThunderbirdMessageReader::Selection>
ThunderbirdMessageReader::readSelection(const DesktopWindow& window) const
{
    QFuture<std::optional<Selection>> reading = m_accessibility->run(
        [window, memo = m_parts](AccessibilityElements& api) -> std::optional<Selection> {
            const std::optional<AccessibilityElement> frame =
                windowFrame(api, window.application.processId, window.title);
            if (!frame)
                return std::nullopt;
            const WindowPathMemo::Window key{window.windowId, window.title};
            std::optional<Selection> selection;
            if (const std::optional<WindowPathMemo::Paths> known = memo->paths(key)) {
                if (known->isEmpty())
                    return std::nullopt; // walked as it is now, and it showed no message list
                selection = readRememberedParts(api, *frame, *known);
                if (!selection)
                    memo->forget(key); // the layout changed, or the pane was not seen yet
            }
            if (!selection) {
                WindowPathMemo::Paths parts;
                selection = walkForParts(api, *frame, &parts);
                memo->remember(key, parts);
            }
            if (selection->rowName.isEmpty() || selection->messageUrl.isEmpty())
                return std::nullopt;
            return selection;
        });
    return jobAnswer(reading);
}

std::optional<CapturedContext> ThunderbirdMessageReader::read(const DesktopWindow& window) const
{
    const std::optional<Selection> selection = readSelection(window);
    if (!selection)
        return std::nullopt;
    return contextOf(*selection, window.application.processId);
}

std::optional<CapturedContext> ThunderbirdMessageReader::contextOf(const Selection& selection,
                                                                   qint64 processId) const
{
    QList<StoredMessage> messages;
    if (const std::optional<QString> folder = mailFolderOfMessageUrl(selection.messageUrl)) {
        messages = m_folderIndex->messages(*folder);
    } else {
        for (const QString& copy : m_imapStore->offlineFolders(selection.messageUrl, processId))
            messages += m_folderIndex->messages(copy);
        if (messages.isEmpty()) {
            qCInfo(lcThunderbirdContext) << "Ignored Thunderbird IMAP message without an offline copy";
            return std::nullopt;
        }
    }
    const std::optional<StoredMessage> message = messageOfRow(messages, selection.rowName);
    if (!message) {
        qCInfo(lcThunderbirdContext) << "Ignored Thunderbird message not found alone in its folder";
        return std::nullopt;
    }
    const QString locator = messageLocator(message->messageID);
    const QString title = mailMessageTitle(message->subject, senderText(*message));
    return CapturedContext{title, locator, LinkType::mail, QStringLiteral("Thunderbird"), std::nullopt};
}

} // namespace morvane
