#include "MailActiveContextProvider.h"

#include "capture/CaptureText.h"
#include "capture/MessageLocator.h"
#include "capture/ProviderScript.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"

MORVANE_LOGGING_CATEGORY(lcMailContext, "MailContext")

namespace morvane {

namespace {

const QString mailSelectionScript = QStringLiteral(
    "tell application id \"com.apple.mail\"\n"
    "    set selectedMessages to selection\n"
    "    if selectedMessages is {} then return \"\"\n"
    "    set selectedMessage to item 1 of selectedMessages\n"
    "    set messageID to message id of selectedMessage\n"
    "    if messageID is missing value or messageID is \"\" then return \"\"\n"
    "    set messageSubject to subject of selectedMessage\n"
    "    set messageSender to sender of selectedMessage\n"
    "    set payloadSeparator to ASCII character 31\n"
    "    return messageID & payloadSeparator & messageSubject & payloadSeparator & messageSender\n"
    "end tell");

} // namespace

MailActiveContextProvider::MailActiveContextProvider(std::shared_ptr<Workspace> workspace,
                                                     std::shared_ptr<ScriptRunner> scripts)
    : m_scripts(std::move(scripts))
    , m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::flag,
                       [](const QString& identifier) { return identifier == applicationIdentifier; })
{
}

std::optional<CapturedContext> MailActiveContextProvider::captureContext()
{
    if (!m_recentlyActive.captureTarget())
        return std::nullopt;
    const std::optional<QString> answer =
        runProviderScript(*m_scripts, mailSelectionScript, lcMailContext(),
                          QStringLiteral("Unable to read Mail selection: %1"));
    if (!answer || answer->isEmpty())
        return std::nullopt;

    const QStringList fields = payloadFields(*answer);
    if (fields.size() < 3) {
        qCInfo(lcMailContext) << "Ignored malformed Mail selection payload";
        return std::nullopt;
    }
    const std::optional<QString> messageID = normalizedMessageID(fields[0]);
    if (!messageID) {
        qCInfo(lcMailContext) << "Ignored Mail message without a valid RFC Message-ID";
        return std::nullopt;
    }
    const std::optional<QString> locator = messageLocator(*messageID);
    if (!locator) {
        qCInfo(lcMailContext) << "Unable to encode Mail Message-ID";
        return std::nullopt;
    }

    const QString title = mailMessageTitle(fields[1], fields[2]);
    m_recentlyActive.markCaptured(applicationIdentifier);
    return CapturedContext{title, *locator, LinkType::mail, QStringLiteral("Mail"), std::nullopt};
}

} // namespace morvane
