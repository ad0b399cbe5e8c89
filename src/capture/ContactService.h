#pragma once

#include "capture/RevealOutcome.h"
#include "capture/StoreReadWait.h"
#include "foundation/LifetimeToken.h"
#include "foundation/StoreExecutor.h"
#include "model/CapturedContext.h"
#include "model/LinkItem.h"
#include "platform/ContactStore.h"

#include <QCoroTask>
#include <QFuture>
#include <QList>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

namespace morvane {

class DesktopServices;
class UserDefaults;

// The answer of a request for contacts access, as the settings show it.
enum class ContactAccessState { authorized, notDetermined, denied, restricted, unknown };

// The one door to the user's contacts: asks for access, searches cards, finds the one card that the
// texts an application shows name, and shows a saved contact in Cardhop or Contacts as the user
// chose. Every card it hands out is a contact context whose locator is a contact link. Main thread;
// the store is read on a thread of the service's own.
class ContactService {
public:
    static inline const QString contactsIdentifier = QStringLiteral("com.apple.AddressBook");
    static inline const QString cardhopIdentifier = QStringLiteral("com.flexibits.cardhop.mac");
    static constexpr int maxSearchResults = 100;
    // How long an open waits for the address books to be read (the first look at them reads them all).
    static constexpr std::chrono::milliseconds defaultReadBound{5000};

    enum class CaptureAccess { granted, requested, denied };

    ContactService(std::shared_ptr<ContactStore> store, std::shared_ptr<DesktopServices> desktop,
                   std::shared_ptr<const UserDefaults> defaults,
                   std::chrono::milliseconds readBound = defaultReadBound);
    // Ends the reads: one waiting for the address books gives up, those queued behind it find the
    // service ending and neither wait nor start an application.
    ~ContactService();
    ContactService(const ContactService&) = delete;
    ContactService& operator=(const ContactService&) = delete;

    // Asks the user when access was never asked for, then answers the status. Never throws.
    QCoro::Task<ContactAccessState> requestAccess();
    // For a capture: granted goes on; while access is undetermined the user is asked, once per
    // process, without waiting for the answer.
    CaptureAccess accessForCapture();
    // Whether the cards are kept by a service that is there but cannot be read (rather than by none).
    bool serviceCannotBeRead() const;

    // The cards whose full name or organization holds the query (2 characters at least), in the
    // user's order, at most 100; nothing without access. Searched on the reads' thread in what the
    // store holds, without waiting for more.
    QFuture<QList<CapturedContext>> search(const QString& query, const QString& sourceApp) const;
    // The one card that the texts name: a text equal to a card's full name or organization (letter
    // case aside) wins over texts that only contain one or are contained in one; nothing when no card
    // or several cards are named, or without access. Matched on the reads' thread in what the store
    // holds; may be asked from any thread.
    QFuture<std::optional<CapturedContext>> contactMatchingVisibleTexts(const QStringList& texts,
                                                                        const QString& sourceApp) const;
    // Nothing when the card has no identifier (it is logged).
    std::optional<CapturedContext> capturedContext(const ContactCard& card, const QString& sourceApp) const;

    // Shows the saved contact in the application the user chose, else in the desktop's contacts. The
    // desktop's contacts application is asked off the main thread, after waiting for the address
    // books at most the read bound. Resumes on the main thread; the service may be gone by then (the
    // card is then not shown).
    QCoro::Task<RevealOutcome> open(LinkItem item);

private:
    bool isAuthorized() const;
    // Shows the card in the desktop's contacts application, or at least brings that application up.
    QCoro::Task<RevealOutcome> revealInContacts(QString identifier);

    std::shared_ptr<ContactStore> m_store;
    std::shared_ptr<DesktopServices> m_desktop;
    std::shared_ptr<const UserDefaults> m_defaults;
    bool m_requestedAccess = false;
    std::chrono::milliseconds m_readBound;
    LifetimeToken m_lifetime; // answers to access requests are dropped once the service is gone
    StoreReadWait m_readWait;
    // Goes first: its last read holds no member. Mutable: reading is no change to the service.
    mutable StoreExecutor m_reads{"morvane-contact-reads"};
};

} // namespace morvane
