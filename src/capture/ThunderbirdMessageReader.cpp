#include "ThunderbirdMessageReader.h"

#include "capture/MailFolderIndex.h"
#include "capture/MailMessageMatch.h"
#include "capture/MessageLocator.h"
#include "capture/WindowFrame.h"
#include "foundation/Logging.h"
#include "platform/AccessibilityApi.h"

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

ThunderbirdMessageReader::ThunderbirdMessageReader(std::shared_ptr<AccessibilityApi> accessibility,
                                                   std::shared_ptr<MailFolderIndex> folderIndex)
    : m_accessibility(std::move(accessibility))
    , m_folderIndex(std::move(folderIndex))
{
}

std::optional<ThunderbirdMessageReader::Selection>
ThunderbirdMessageReader::readSelection(qint64 processId, const QString& windowTitle) const
{
    QFuture<std::optional<Selection>> reading =
        m_accessibility->run([processId, windowTitle](AccessibilityApi& api) -> std::optional<Selection> {
            const std::optional<AccessibilityElement> frame = windowFrame(api, processId, windowTitle);
            if (!frame)
                return std::nullopt;
            AccessibilityApi::Walk walk;
            walk.maxDepth = 30;
            walk.maxNodes = 3000;
            walk.skipRoles = {AccessibilityRole::menuBar, AccessibilityRole::menu,
                              AccessibilityRole::popupMenu, AccessibilityRole::toolBar,
                              AccessibilityRole::statusBar};
            Selection selection;
            // The rows come before the message pane; a row's own cells are not entered.
            api.findFirst(
                *frame,
                [&](const AccessibilityElement& element) {
                    const AccessibilityRole role = api.role(element);
                    if (selection.rowName.isEmpty() && isMessageRow(role) &&
                        api.states(element).testFlag(AccessibilityState::selected)) {
                        selection.rowName = api.name(element).value_or(QString());
                    } else if (role == AccessibilityRole::documentWeb) {
                        const QString url = api.documentAttributes(element).value(QStringLiteral("DocURL"));
                        if (url.startsWith(QLatin1String("mailbox:")))
                            selection.messageUrl = url;
                    }
                    return !selection.rowName.isEmpty() && !selection.messageUrl.isEmpty();
                },
                walk);
            if (selection.rowName.isEmpty() || selection.messageUrl.isEmpty())
                return std::nullopt;
            return selection;
        });
    return jobAnswer(reading);
}

std::optional<CapturedContext> ThunderbirdMessageReader::read(qint64 processId,
                                                              const QString& windowTitle) const
{
    const std::optional<Selection> selection = readSelection(processId, windowTitle);
    if (!selection)
        return std::nullopt;
    return contextOf(*selection);
}

std::optional<CapturedContext> ThunderbirdMessageReader::contextOf(const Selection& selection) const
{
    const std::optional<QString> folder = mailFolderOfMessageUrl(selection.messageUrl);
    if (!folder)
        return std::nullopt;
    const std::optional<StoredMessage> message =
        messageOfRow(m_folderIndex->messages(*folder), selection.rowName);
    if (!message) {
        qCInfo(lcThunderbirdContext) << "Ignored Thunderbird message not found alone in its folder";
        return std::nullopt;
    }
    const QString locator = messageLocator(message->messageID);
    const QString sender = message->senderName.isEmpty() || message->senderAddress.isEmpty()
                               ? message->senderName + message->senderAddress
                               : message->senderName + QStringLiteral(" <") + message->senderAddress + u'>';
    const QString title = mailMessageTitle(message->subject, sender);
    return CapturedContext{title, locator, LinkType::mail, QStringLiteral("Thunderbird"), std::nullopt};
}

} // namespace morvane
