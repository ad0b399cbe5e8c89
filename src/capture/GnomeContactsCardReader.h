#pragma once

#include "platform/AccessibilityApi.h"

#include <QString>

#include <optional>

namespace morvane {

// What GNOME Contacts' window shows: the name on the card in its contact pane, empty while the pane
// shows no card (nothing chosen in the list yet, or a search that found nothing), and the name on the
// row chosen in its list, empty when none is. Right after a row is chosen the pane may still show the
// card chosen before, or none, while it loads the new one: the row tells which card the window is on.
struct ShownContactCard {
    QString name;
    QString selectedRow;

    bool operator==(const ShownContactCard&) const = default;

    // The name of the card the window is on: its chosen row's, else the pane's; empty when neither.
    QString cardName() const { return selectedRow.isEmpty() ? name : selectedRow; }
};

// Which of a GNOME Contacts process's windows the user worked in last, as the readings saw it: once
// another application (the panel) has the keyboard, none of its windows is active any more. Read and
// written inside accessibility jobs only.
struct ContactsWindowInUse {
    qint64 processId = 0;
    qsizetype frameIndex = -1; // among the application's windows
};

// Inside an accessibility job: what the process's GNOME Contacts window shows; nothing when the
// process is not on the bus or shows no contact pane. With inUse, the window the user worked in last
// comes first when none is active, and an active one is remembered there.
//
// GTK 4 names an element without a label after its widget type, and GNOME Contacts keeps the card
// it shows in a "ContactsContactSheet" inside its "ContactsContactPane"; the card's name is the
// first label in the sheet that is not the avatar's initials. The pane's pages are all marked
// visible and none showing, so the walk does not look at those states.
std::optional<ShownContactCard> readShownContactCard(const AccessibilityElements& api, qint64 processId,
                                                     ContactsWindowInUse* inUse = nullptr);

} // namespace morvane
