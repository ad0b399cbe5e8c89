#include "GnomeContactsCardReader.h"

#include "foundation/Text.h"

#include <algorithm>

namespace morvane {

namespace {

const QString contactPane = QStringLiteral("ContactsContactPane");
const QString contactSheet = QStringLiteral("ContactsContactSheet");
const QString contactList = QStringLiteral("ContactsContactList");

AccessibilityElements::Walk paneWalk()
{
    AccessibilityElements::Walk walk;
    walk.maxDepth = 20;
    walk.maxNodes = 1500;
    walk.maxChildren = 60;
    walk.showingOnly = false;
    walk.skipRoles = {AccessibilityRole::list, AccessibilityRole::menu, AccessibilityRole::popupMenu};
    return walk;
}

std::optional<AccessibilityElement> elementNamed(const AccessibilityElements& api,
                                                 const AccessibilityElement& start, const QString& name,
                                                 const AccessibilityElements::Walk& walk)
{
    return api.findFirst(
        start, [&](const AccessibilityElement& element) { return api.name(element) == name; }, walk);
}

// The name label sits beside the avatar, the two in the sheet's first panel; the avatar's own label
// holds the initials.
QString cardName(const AccessibilityElements& api, const AccessibilityElement& sheet)
{
    for (const AccessibilityElement& part : api.children(sheet, 8)) {
        for (const AccessibilityElement& child : api.children(part, 8)) {
            if (api.role(child) != AccessibilityRole::label)
                continue;
            const QString text =
                trimmedText(api.text(child, 500).value_or(api.name(child).value_or(QString())));
            if (!text.isEmpty())
                return text;
        }
    }
    return {};
}

// The name on the row chosen in the window's list of cards; the row holds the avatar and the name
// as the sheet's first panel does.
QString selectedRowName(const AccessibilityElements& api, const AccessibilityElement& frame)
{
    const std::optional<AccessibilityElement> list = elementNamed(api, frame, contactList, paneWalk());
    if (!list)
        return {};
    AccessibilityElements::Walk rowsWalk = paneWalk();
    rowsWalk.skipRoles.removeAll(AccessibilityRole::list);
    const std::optional<AccessibilityElement> rows = api.findFirst(
        *list,
        [&](const AccessibilityElement& element) { return api.role(element) == AccessibilityRole::list; },
        rowsWalk);
    if (!rows)
        return {};
    for (const AccessibilityElement& row : api.selectedChildren(*rows, 1)) {
        const QString name = cardName(api, row);
        if (!name.isEmpty())
            return name;
    }
    return {};
}

} // namespace

std::optional<ShownContactCard> readShownContactCard(const AccessibilityElements& api, qint64 processId,
                                                     ContactsWindowInUse* inUse)
{
    const std::optional<AccessibilityApplication> application = api.application(processId);
    if (!application)
        return std::nullopt;
    // Its windows are all named alike, whatever they show: the one the user works in comes first, or,
    // with none active, the one the user worked in last.
    QList<AccessibilityElement> frames = api.frames(application->element);
    qsizetype inFront = -1;
    for (qsizetype index = 0; index < frames.size() && inFront < 0; ++index) {
        if (api.states(frames[index]).testFlag(AccessibilityState::active))
            inFront = index;
    }
    if (inUse && inFront >= 0)
        *inUse = ContactsWindowInUse{processId, inFront};
    else if (inUse && inUse->processId == processId && inUse->frameIndex < frames.size())
        inFront = inUse->frameIndex;
    if (inFront > 0)
        std::rotate(frames.begin(), frames.begin() + inFront, frames.begin() + inFront + 1);
    const AccessibilityElements::Walk walk = paneWalk();
    for (const AccessibilityElement& frame : frames) {
        const std::optional<AccessibilityElement> pane = elementNamed(api, frame, contactPane, walk);
        if (!pane)
            continue;
        const std::optional<AccessibilityElement> sheet = elementNamed(api, *pane, contactSheet, walk);
        return ShownContactCard{sheet ? cardName(api, *sheet) : QString(), selectedRowName(api, frame)};
    }
    return std::nullopt;
}

} // namespace morvane
