#pragma once

#include "StoreReadWatch.h"

#include "platform/ContactStore.h"

#include <QList>

#include <utility>

namespace morvane::test {

// Cards held in a list, which is the user's order. The full name is the given and family names
// joined by a space. Access requests wait in pending until the test answers them. With failAfter
// set, an enumeration fails once that many cards were visited.
class InMemoryContactStore final : public ContactStore {
public:
    ContactAuthorizationStatus authorizationStatus() const override { return status; }
    std::optional<QString> unavailableReason() const override { return failure; }
    void requestAccess(AccessRequestCompletion completion) override { pending.append(std::move(completion)); }
    std::optional<QString> enumerateCards(ContactSortOrder, const CardVisitor& visit) const override
    {
        reads.note();
        ++enumerations;
        for (qsizetype i = 0; i < cards.size(); ++i) {
            if (failAfter && i == *failAfter)
                return QStringLiteral("The contacts database is busy.");
            if (!visit(cards[i]))
                return std::nullopt;
        }
        return std::nullopt;
    }
    std::optional<QString> fullName(const ContactCard& card) const override
    {
        const QString name = (card.givenName + u' ' + card.familyName).trimmed();
        return name.isEmpty() ? std::nullopt : std::optional(name);
    }
    bool waitUntilRead(std::chrono::milliseconds bound) const override { return reads.waitUntilRead(bound); }

    bool revealCard(const QString& identifier) override
    {
        reads.note();
        revealed.append(identifier);
        return revealAnswer;
    }

    // The user answers every waiting request: the status becomes the one given.
    void answerRequests(ContactAuthorizationStatus answer, std::optional<QString> error = std::nullopt)
    {
        status = answer;
        for (const AccessRequestCompletion& completion : std::exchange(pending, {}))
            completion(answer == ContactAuthorizationStatus::authorized, error);
    }

    ContactAuthorizationStatus status = ContactAuthorizationStatus::authorized;
    std::optional<QString> failure;
    QList<ContactCard> cards;
    std::optional<qsizetype> failAfter;
    QList<AccessRequestCompletion> pending;
    mutable int enumerations = 0;
    QStringList revealed;      // cards shown in the application, in order
    bool revealAnswer = false; // whether the application showed them
    StoreReadWatch reads;
};

} // namespace morvane::test
