#include "ContactActiveContextProvider.h"

#include "capture/CaptureText.h"
#include "capture/ContactLink.h"
#include "capture/ContactService.h"
#include "capture/ProviderScript.h"
#include "foundation/Logging.h"
#include "foundation/Text.h"
#include "platform/AccessibilityApi.h"
#include "platform/ScriptRunner.h"
#include "platform/Workspace.h"

#include <QSet>

MORVANE_LOGGING_CATEGORY(lcContactContext, "ContactContext")

namespace morvane {

namespace {

bool isCardhopIdentifier(const QString& identifier)
{
    return identifier.startsWith(QStringLiteral("com.flexibits.cardhop"), Qt::CaseInsensitive);
}

bool isContactApplication(const QString& identifier)
{
    return identifier == ContactActiveContextProvider::contactsIdentifier || isCardhopIdentifier(identifier);
}

QString contactsScript()
{
    return statusWordScript(
        QStringLiteral("id \"com.apple.AddressBook\""),
        QStringLiteral("        set selectedPeople to selection\n"
                       "        if selectedPeople is {} then return \"empty\"\n"
                       "        set selectedPerson to item 1 of selectedPeople\n"
                       "        set contactID to id of selectedPerson\n"
                       "        set contactName to name of selectedPerson\n"
                       "        if contactName is missing value then set contactName to \"\"\n"
                       "        set organizationName to organization of selectedPerson\n"
                       "        if organizationName is missing value then set organizationName to \"\"\n"
                       "        return contactID & %1 & contactName & %1 & organizationName\n")
            .arg(scriptPayloadSeparator()));
}

// Sets the variable to the first of the properties of selectedPerson that can be read and is
// neither missing nor empty; "" when none is.
QString firstReadableProperty(const QString& variable, std::initializer_list<const char*> properties)
{
    QString lines = QStringLiteral("        set %1 to \"\"\n").arg(variable);
    for (const char* property : properties) {
        lines += QStringLiteral(
                     "        if %1 is \"\" then\n"
                     "            try\n"
                     "                set propertyValue to %2 of selectedPerson\n"
                     "                if propertyValue is not missing value then set %1 to propertyValue "
                     "as text\n"
                     "            end try\n"
                     "        end if\n")
                     .arg(variable, QLatin1String(property));
    }
    return lines;
}

QString cardhopScript(const char* selectionExpression)
{
    return statusWordScript(
        QStringLiteral("\"Cardhop\""),
        QStringLiteral("        set selectedValue to ") + QLatin1String(selectionExpression) +
            QStringLiteral("\n"
                           "        if selectedValue is missing value then return \"empty\"\n"
                           "        if class of selectedValue is list then\n"
                           "            if selectedValue is {} then return \"empty\"\n"
                           "            set selectedPerson to item 1 of selectedValue\n"
                           "        else\n"
                           "            set selectedPerson to selectedValue\n"
                           "        end if\n") +
            firstReadableProperty(QStringLiteral("contactID"), {"id", "uid", "identifier"}) +
            QStringLiteral("        if contactID is \"\" then return \"error\"\n") +
            firstReadableProperty(QStringLiteral("contactName"),
                                  {"name", "display name", "full name", "title"}) +
            firstReadableProperty(QStringLiteral("organizationName"), {"organization", "company"}) +
            QStringLiteral("        return (contactID as text) & %1 & (contactName as text) & %1 & "
                           "(organizationName as text)\n")
                .arg(scriptPayloadSeparator()));
}

// The words Cardhop's editions have used for the selected card, in the order they are tried.
const QStringList& cardhopScripts()
{
    static const QStringList scripts = [] {
        QStringList all;
        for (const char* expression :
             {"selected contacts", "selected contact", "selection", "selected people", "selected person",
              "selected cards", "selected card", "current contact", "current person", "current card"})
            all.append(cardhopScript(expression));
        return all;
    }();
    return scripts;
}

} // namespace

enum class ContactActiveContextProvider::Outcome {
    context,
    accessRequested,
    accessDenied,
    nothingSelected,
    automationDenied,
    accessibilityRequired,
    ambiguousVisibleText,
    notReadYet,
    unreadable,
};

struct ContactActiveContextProvider::Capture {
    Outcome outcome;
    std::optional<CapturedContext> context = std::nullopt;
};

ContactActiveContextProvider::ContactActiveContextProvider(
    std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
    std::shared_ptr<AccessibilityElements> accessibility, std::shared_ptr<ContactService> contactService)
    : m_scripts(std::move(scripts))
    , m_contactService(std::move(contactService))
    , m_lastContactApp(workspace, RecentlyActiveApplication::Policy::lastApplicationInFront,
                       isContactApplication)
    , m_shownCard(
          std::move(workspace), std::move(accessibility), contactsIdentifier,
          [inUse = std::make_shared<ContactsWindowInUse>()](const AccessibilityElements& api,
                                                            qint64 processId) {
              return readShownContactCard(api, processId, inUse.get());
          },
          [service = m_contactService](std::optional<ShownContactCard> shown) {
              return namedCard(*service, std::move(shown));
          })
{
}

QFuture<std::optional<ContactActiveContextProvider::NamedCard>>
ContactActiveContextProvider::namedCard(const ContactService& service, std::optional<ShownContactCard> shown)
{
    if (!shown || shown->cardName().isEmpty())
        return QtFuture::makeReadyFuture(shown ? std::optional(NamedCard{*shown, std::nullopt})
                                               : std::nullopt);
    return service.contactMatchingVisibleTexts({shown->cardName()}, QStringLiteral("Contacts"))
        .then(QtFuture::Launch::Sync, [shown = *shown](std::optional<CapturedContext> card) {
            return std::optional(NamedCard{shown, std::move(card)});
        });
}

ApplicationReading ContactActiveContextProvider::readingOf(const QString& identifier) const
{
    return identifier == contactsIdentifier ? ApplicationReading::accessibilityBus : ApplicationReading::none;
}

CaptureResult ContactActiveContextProvider::captureContexts()
{
    const std::optional<QString> application = m_lastContactApp.captureTarget();
    if (!application)
        return {};
    const bool cardhop = isCardhopIdentifier(*application);
    const QString name = cardhop ? QStringLiteral("Cardhop") : QStringLiteral("Contacts");
    Capture result = capture(cardhop);
    const auto message = [](QString text) { return CaptureResult{{}, std::move(text)}; };
    switch (result.outcome) {
    case Outcome::context:
        return {{std::move(*result.context)}, std::nullopt};
    case Outcome::accessRequested:
        return message(QStringLiteral("Contacts access requested. Approve it, then open Morvane again."));
    case Outcome::accessDenied:
        if (m_contactService->serviceCannotBeRead())
            return message(QStringLiteral("Contacts access is not available: the desktop's address book "
                                          "service (Evolution Data Server) could not be read. Preferences "
                                          "says why."));
        return message(QStringLiteral("Contacts access is not available: this desktop runs no address book "
                                      "service (Evolution Data Server) that Morvane may read."));
    case Outcome::nothingSelected:
        return message(QStringLiteral("Select a ") + name + QStringLiteral(" contact to add or open."));
    case Outcome::automationDenied:
        return message(QStringLiteral("Automation access to ") + name +
                       QStringLiteral(" is denied by the desktop."));
    case Outcome::accessibilityRequired:
        return message(QStringLiteral("Cardhop does not expose its selected contact. Turn on the desktop's "
                                      "accessibility support, then try again."));
    case Outcome::ambiguousVisibleText:
        return message(
            QStringLiteral("Morvane can see ") + name +
            QStringLiteral(" text, but it does not resolve to one unique contact. Type the contact "
                           "name in Morvane to link it."));
    case Outcome::notReadYet:
        return {};
    case Outcome::unreadable:
        break;
    }
    return message(QStringLiteral("Unable to read the selected ") + name + QStringLiteral(" contact."));
}

ContactActiveContextProvider::Capture ContactActiveContextProvider::capture(bool cardhop)
{
    switch (m_contactService->accessForCapture()) {
    case ContactService::CaptureAccess::requested:
        return {Outcome::accessRequested};
    case ContactService::CaptureAccess::denied:
        return {Outcome::accessDenied};
    case ContactService::CaptureAccess::granted:
        break;
    }
    if (!cardhop) {
        if (std::optional<Capture> shown = shownCardCapture())
            return std::move(*shown);
        // The card of a window still being read (the address book may still be loading, or the user
        // chose another card since it was last read) is not known yet: nothing is said until the
        // reading ends.
        if (m_shownCard.isReading())
            return {Outcome::notReadYet};
    }
    const std::optional<QString> answer = selectionAnswer(cardhop);
    if (!answer || answer->isEmpty())
        return {Outcome::unreadable};
    // Cardhop's answer may not name the card; its screen may.
    const auto unanswered = [&] { return cardhop ? cardhopScreenFallback() : Capture{Outcome::unreadable}; };
    if (const std::optional<ScriptStatusWord> word = scriptStatusWord(*answer)) {
        switch (*word) {
        case ScriptStatusWord::notRunning:
        case ScriptStatusWord::empty:
            return {Outcome::nothingSelected};
        case ScriptStatusWord::denied:
            return {Outcome::automationDenied};
        case ScriptStatusWord::error:
            return unanswered();
        }
    }

    const QStringList fields = payloadFields(*answer);
    const QString identifier = fields.size() == 3 ? trimmedText(fields[0]) : QString();
    if (identifier.isEmpty())
        return unanswered();
    QString name = trimmedText(leftGraphemes(fields[1], maxFieldLength));
    if (name.isEmpty())
        name = QStringLiteral("Contact");
    const QString organization = trimmedText(leftGraphemes(fields[2], maxFieldLength));
    const std::optional<QString> locator =
        contactLocator(identifier, name, organization.isEmpty() ? std::nullopt : std::optional(organization));
    if (!locator)
        return {Outcome::unreadable};
    return {Outcome::context,
            CapturedContext{name, *locator, LinkType::contact,
                            cardhop ? QStringLiteral("Cardhop") : QStringLiteral("Contacts"), std::nullopt}};
}

QFuture<void> ContactActiveContextProvider::refresh()
{
    return m_shownCard.refresh();
}

std::optional<ContactActiveContextProvider::Capture> ContactActiveContextProvider::shownCardCapture()
{
    std::optional<NamedCard> shown = m_shownCard.reading();
    if (!shown)
        return std::nullopt;
    if (shown->shown.cardName().isEmpty())
        return Capture{Outcome::nothingSelected};
    if (!shown->card)
        return Capture{Outcome::ambiguousVisibleText};
    return Capture{Outcome::context, std::move(shown->card)};
}

std::optional<QString> ContactActiveContextProvider::selectionAnswer(bool cardhop)
{
    if (!cardhop)
        return runScript(contactsScript());
    // The first script that answers anything but "error" tells; a script Cardhop does not understand
    // fails, and the next one is tried.
    bool answeredError = false;
    for (const QString& script : cardhopScripts()) {
        const std::optional<QString> answer = runScript(script);
        if (answer && *answer != QStringLiteral("error"))
            return answer;
        answeredError = answeredError || answer;
    }
    return answeredError ? std::optional(QStringLiteral("error")) : std::nullopt;
}

std::optional<QString> ContactActiveContextProvider::runScript(const QString& source)
{
    const ScriptOutcome outcome = m_scripts->run(source, std::nullopt);
    switch (outcome.status) {
    case ScriptOutcome::Status::answered:
        return trimmedText(outcome.text.value_or(QString()));
    case ScriptOutcome::Status::failed:
        qCInfo(lcContactContext).noquote()
            << "Contact selection AppleScript failed:" << privateValue(outcome.errorDescription);
        return std::nullopt;
    case ScriptOutcome::Status::cannotBeMade:
        break;
    }
    return std::nullopt;
}

ContactActiveContextProvider::Capture ContactActiveContextProvider::cardhopScreenFallback()
{
    // Cardhop has no version for this desktop: there is no screen of it to read.
    qCDebug(lcContactContext) << "Cardhop has no version for this desktop: its screen is not read";
    return {Outcome::unreadable};
}

} // namespace morvane
