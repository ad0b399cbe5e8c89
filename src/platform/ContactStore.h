#pragma once

#include "platform/AccessRequestCompletion.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace morvane {

// What the user allowed this application to do with their contacts. limited: only the cards the
// user picked, which this application treats as no access.
enum class ContactAuthorizationStatus { notDetermined, restricted, denied, authorized, limited };

// The order in which cards are enumerated; userDefault is the one the user chose for their contacts.
enum class ContactSortOrder { none, userDefault, givenName, familyName };

// One card of the user's contacts, with the fields this application reads.
struct ContactCard {
    QString identifier;
    QString givenName;
    QString familyName;
    QString organizationName;
    QString fullName = {}; // the card's name in full, as the store writes it; empty when it has none

    bool operator==(const ContactCard&) const = default;
};

// The user's contacts. Access is asked on the main thread; the reads, and revealCard, which reads the
// card's name, may wait on the service that keeps the cards, so they run on a worker.
class ContactStore {
public:
    // Answers whether the enumeration goes on.
    using CardVisitor = std::function<bool(const ContactCard& card)>;

    virtual ~ContactStore() = default;

    virtual ContactAuthorizationStatus authorizationStatus() const = 0;
    // What of the cards cannot be read although the system has a store of them, in words shown to the
    // user: the address books that failed, each by its name and why, or why the store failed as a
    // whole; nothing when they can be read, or when there is no store at all.
    virtual std::optional<QString> unavailableReason() const = 0;
    // Asks the user for access to contacts; the answer comes later, possibly on another thread.
    virtual void requestAccess(AccessRequestCompletion completion) = 0;
    // Visits every card in the given order until the visitor stops. Nothing when the walk ended or
    // was stopped; the error's description when the store failed part-way, after the cards before
    // the failure were visited.
    virtual std::optional<QString> enumerateCards(ContactSortOrder order, const CardVisitor& visit) const = 0;
    // The card's name written out in full as the user's settings order it; nothing when it has none.
    virtual std::optional<QString> fullName(const ContactCard& card) const = 0;
    // Waits at most bound until the store holds what the address books have; false when it does not
    // by then.
    virtual bool waitUntilRead(std::chrono::milliseconds bound) const = 0;
    // Shows the card with this identifier in the contacts application that keeps this store's cards,
    // or at least starts that application. False when there is none.
    virtual bool revealCard(const QString& identifier) = 0;
};

// This system has no contact store an application may read: access is restricted, there are no
// cards, and no one is asked.
class UnavailableContactStore final : public ContactStore {
public:
    ContactAuthorizationStatus authorizationStatus() const override;
    std::optional<QString> unavailableReason() const override;
    void requestAccess(AccessRequestCompletion completion) override;
    std::optional<QString> enumerateCards(ContactSortOrder order, const CardVisitor& visit) const override;
    std::optional<QString> fullName(const ContactCard& card) const override;
    bool waitUntilRead(std::chrono::milliseconds bound) const override;
    bool revealCard(const QString& identifier) override;
};

} // namespace morvane
