#pragma once

#include "platform/ContactStore.h"

#include <memory>

namespace morvane {

class DesktopServices;
class EvolutionDataServer;
class ProcessLauncher;

// The desktop's address books through Evolution Data Server. Linux asks no one for access: with the
// service there, contacts are authorized; without it, or when its calls fail, restricted. Reads come
// from the service's snapshot; only waitUntilRead waits for the service.
class EdsContactStore final : public ContactStore {
public:
    EdsContactStore(std::shared_ptr<EvolutionDataServer> service, std::shared_ptr<DesktopServices> desktop,
                    std::shared_ptr<ProcessLauncher> launcher);

    // Not determined only while the bus has not yet said whether the service is there.
    ContactAuthorizationStatus authorizationStatus() const override;
    // The service's failure, once a reading of its stores failed.
    std::optional<QString> unavailableReason() const override;
    // Completes as soon as the bus has said, granted when the service is there.
    void requestAccess(AccessRequestCompletion completion) override;
    // The user's order is the one address books file their cards by.
    std::optional<QString> enumerateCards(ContactSortOrder order, const CardVisitor& visit) const override;
    std::optional<QString> fullName(const ContactCard& card) const override;
    bool waitUntilRead(std::chrono::milliseconds bound) const override;
    // GNOME Contacts searching for the card's name, else Evolution's editor of the card.
    bool revealCard(const QString& identifier) override;

private:
    std::shared_ptr<EvolutionDataServer> m_service;
    std::shared_ptr<DesktopServices> m_desktop;
    std::shared_ptr<ProcessLauncher> m_launcher;
};

} // namespace morvane
