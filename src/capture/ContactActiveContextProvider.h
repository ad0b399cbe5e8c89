#pragma once

#include "capture/ActiveContextProvider.h"
#include "capture/GnomeContactsCardReader.h"
#include "capture/KeptWindowReading.h"
#include "capture/RecentlyActiveApplication.h"

#include <QStringList>

#include <memory>

namespace morvane {

class AccessibilityElements;
class ContactService;
class ScriptRunner;
class Workspace;

// The contact card selected in Contacts or Cardhop, or a message saying why there is none. On this
// desktop Contacts is GNOME Contacts: the name on the card its window shows is read over the
// accessibility bus and matched against the user's cards at each refresh, off the main thread.
// Cardhop is asked through several scripts, as its editions understand different words for the
// selection; its screen, which would be read when none of them tells, is not read: Cardhop has no
// version for this desktop.
class ContactActiveContextProvider final : public ActiveContextProvider {
public:
    static inline const QString contactsIdentifier = QStringLiteral("com.apple.AddressBook");
    static constexpr qsizetype maxFieldLength = 500;

    ContactActiveContextProvider(std::shared_ptr<Workspace> workspace, std::shared_ptr<ScriptRunner> scripts,
                                 std::shared_ptr<AccessibilityElements> accessibility,
                                 std::shared_ptr<ContactService> contactService);

    QString providerName() const override { return QStringLiteral("Contacts"); }
    CaptureResult captureContexts() override;
    QFuture<void> refresh() override;
    void distrustKeptReadings() override { m_shownCard.distrust(); }
    // The desktop's contacts application shows its card on the accessibility bus.
    ApplicationReading readingOf(const QString& identifier) const override;

private:
    enum class Outcome;
    struct Capture;
    // The card GNOME Contacts shows, with the one of the user's cards its name names, if one.
    struct NamedCard {
        ShownContactCard shown;
        std::optional<CapturedContext> card;
    };
    Capture capture(bool cardhop);
    Capture cardhopScreenFallback();
    // The card GNOME Contacts shows, from the last reading of its window; nothing when none was read.
    std::optional<Capture> shownCardCapture();
    // On the accessibility thread: what to keep of the card shown.
    static QFuture<std::optional<NamedCard>> namedCard(const ContactService& service,
                                                       std::optional<ShownContactCard> shown);
    std::optional<QString> selectionAnswer(bool cardhop);
    std::optional<QString> runScript(const QString& source);

    std::shared_ptr<ScriptRunner> m_scripts;
    std::shared_ptr<ContactService> m_contactService;
    RecentlyActiveApplication m_lastContactApp;
    KeptWindowReading<ShownContactCard, NamedCard> m_shownCard;
};

} // namespace morvane
