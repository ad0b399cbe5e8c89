#pragma once

#include "platform/ContactStore.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace morvane {

// A card as an address book keeps it, with the name the user files it under (how lists sort cards).
struct EdsCard {
    ContactCard card;
    QString fileAs; // the card's own, else its full name
};

// The card a vCard (3.0, or 2.1 with quoted-printable values) describes; nothing for one without a
// uid. Values are read as the address book writes them: lines folded, text escaped, the structured
// name split into its parts.
std::optional<EdsCard> contactCard(QByteArrayView vcard, const QString& sourceUid);

} // namespace morvane
