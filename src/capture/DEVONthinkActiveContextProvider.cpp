#include "DEVONthinkActiveContextProvider.h"

#include "capture/CaptureText.h"
#include "capture/ProviderScript.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"
#include "foundation/Uuid.h"

#include <QSet>

MORVANE_LOGGING_CATEGORY(lcDEVONthinkContext, "DEVONthinkContext")

namespace morvane {

namespace {

const QString itemScheme = QStringLiteral("x-devonthink-item");

// Tried in turn: the application's four-character id, then its identifier.
const QStringList scriptTargets{QStringLiteral("DNtp"), QStringLiteral("com.devontechnologies.think")};

// The first selected record of the application, of its first window, or else the record open in
// either: its name, reference URL and UUID; "" when there is no record or no locator.
const QString recordScriptBody = QStringLiteral(
    "    set theRecord to missing value\n"
    "    try\n"
    "        set theRecords to selected records\n"
    "        if (count of theRecords) > 0 then set theRecord to item 1 of theRecords\n"
    "    end try\n"
    "    if theRecord is missing value then\n"
    "        try\n"
    "            if (exists think window 1) then\n"
    "                set theRecords to selected records of think window 1\n"
    "                if (count of theRecords) > 0 then set theRecord to item 1 of theRecords\n"
    "            end if\n"
    "        end try\n"
    "    end if\n"
    "    if theRecord is missing value then\n"
    "        try\n"
    "            set theRecord to content record\n"
    "        on error\n"
    "            try\n"
    "                if (exists think window 1) then set theRecord to content record of think window 1\n"
    "            end try\n"
    "        end try\n"
    "    end if\n"
    "    if theRecord is missing value then return \"\"\n"
    "    set recordName to name of theRecord\n"
    "    set recordLocator to \"\"\n"
    "    set recordUUID to \"\"\n"
    "    try\n"
    "        set recordLocator to reference URL of theRecord\n"
    "    end try\n"
    "    try\n"
    "        set recordUUID to uuid of theRecord\n"
    "    end try\n"
    "    if recordLocator is missing value then set recordLocator to \"\"\n"
    "    if recordUUID is missing value then set recordUUID to \"\"\n"
    "    if recordLocator is \"\" and recordUUID is not \"\" then\n"
    "        set recordLocator to \"x-devonthink-item://\" & recordUUID\n"
    "    end if\n"
    "    if recordLocator is \"\" then return \"\"\n"
    "    set payloadSeparator to ASCII character 31\n"
    "    return recordName & payloadSeparator & recordLocator & payloadSeparator & recordUUID\n"
    "end tell");

std::optional<QString> normalizedUuid(const QString& text)
{
    const std::optional<QUuid> uuid = parseUuid(trimmedText(text));
    return uuid ? std::optional(uuidString(*uuid)) : std::nullopt;
}

// Whether the URL names a record by its UUID: in its host, else its path, else its first "uuid"
// query item.
bool namesRecord(const LocatorUrl& url)
{
    if (const std::optional<QString> host = url.host(); host && normalizedUuid(*host))
        return true;
    QString path = url.path();
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    while (path.endsWith(u'/'))
        path.chop(1);
    if (normalizedUuid(path))
        return true;
    for (const QueryItem& item : url.queryItems()) {
        if (item.name.toLower() == QLatin1String("uuid"))
            return item.value && normalizedUuid(*item.value);
    }
    return false;
}

// One of the known identifiers, or any whose lower-case form holds both "devon" and "think".
bool isDEVONthink(const QString& identifier)
{
    static const QSet<QString> known{QStringLiteral("com.devontechnologies.think"),
                                     QStringLiteral("com.devontechnologies.thinkpro"),
                                     QStringLiteral("com.devon-technologies.think3")};
    if (known.contains(identifier))
        return true;
    const QString lower = identifier.toLower();
    return lower.contains(QLatin1String("devon")) && lower.contains(QLatin1String("think"));
}

// The record's locator: the reference URL as given when it names a record, else a link made from
// the UUID field, else from the reference itself when it is a bare UUID.
std::optional<QString> normalizedLocator(const QString& locator, const QString& uuid)
{
    const QString trimmed = trimmedText(locator);
    if (!trimmed.isEmpty() &&
        (trimmed.size() <= maxCapturedLocatorLength || graphemeCount(trimmed) <= maxCapturedLocatorLength)) {
        const std::optional<LocatorUrl> url = LocatorUrl::parse(trimmed);
        if (url && url->scheme().toLower() == itemScheme && namesRecord(*url))
            return trimmed;
    }
    for (const QString& text : {uuid, trimmed}) {
        if (const std::optional<QString> normalized = normalizedUuid(text))
            return itemScheme + QStringLiteral("://") + *normalized;
    }
    return std::nullopt;
}

} // namespace

DEVONthinkActiveContextProvider::DEVONthinkActiveContextProvider(std::shared_ptr<Workspace> workspace,
                                                                 std::shared_ptr<ScriptRunner> scripts)
    : m_scripts(std::move(scripts))
    , m_recentlyActive(std::move(workspace), RecentlyActiveApplication::Policy::flag, &isDEVONthink)
    , m_reachable(
          scriptedApplicationReachable(*m_scripts, lcDEVONthinkContext(), QStringLiteral("DEVONthink")))
{
}

std::optional<QString> DEVONthinkActiveContextProvider::readPayload()
{
    for (const QString& target : scriptTargets) {
        const QString source =
            QStringLiteral("tell application id ") + scriptStringLiteral(target) + u'\n' + recordScriptBody;
        std::optional<QString> answer = runProviderScript(*m_scripts, source, lcDEVONthinkContext(),
                                                          QStringLiteral("Unable to read DEVONthink via ") +
                                                              target + QStringLiteral(": %1"));
        if (answer && !trimmedText(*answer).isEmpty())
            return answer;
    }
    return std::nullopt;
}

std::optional<CapturedContext> DEVONthinkActiveContextProvider::captureContext()
{
    if (!m_reachable)
        return std::nullopt;
    const std::optional<QString> target = m_recentlyActive.captureTarget();
    if (!target)
        return std::nullopt;
    const std::optional<QString> answer = readPayload();
    if (!answer) {
        qCDebug(lcDEVONthinkContext)
            << "DEVONthink context unavailable (no selection, empty window, or Automation not allowed)";
        return std::nullopt;
    }
    const QStringList fields = payloadFields(*answer);
    if (fields.size() < 2) {
        qCInfo(lcDEVONthinkContext) << "Ignored malformed DEVONthink selection payload";
        return std::nullopt;
    }
    const std::optional<QString> locator =
        normalizedLocator(fields[1], fields.size() > 2 ? fields[2] : QString());
    if (!locator) {
        qCInfo(lcDEVONthinkContext).noquote()
            << "Ignored DEVONthink item without a valid x-devonthink-item locator:"
            << privateValue(trimmedText(fields[1]));
        return std::nullopt;
    }
    m_recentlyActive.markCaptured(*target);

    QString title = trimmedText(fields[0]);
    if (title.isEmpty())
        title = QStringLiteral("DEVONthink item");
    return CapturedContext{leftGraphemes(title, maxCapturedTitleLength), *locator, LinkType::devonthink,
                           QStringLiteral("DEVONthink"), std::nullopt};
}

} // namespace morvane
