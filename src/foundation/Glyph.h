#pragma once

namespace morvane {

// The names of the system's small glyph set. The drawings live with the painting code; the names sit
// here so that values without a painting toolkit (link-type presentation, view models) can name them.
enum class Glyph {
    // Link types
    document,
    folder,
    globe,
    envelope,
    note,
    archiveBox,
    calendar,
    calendarClock,
    person,
    // Quick panel
    chainLink,
    ellipsis,
    plus,
    gear,
    info,
    magnifier,
    returnKey,
    xmark,
    checkmark,
    linkPlus,
    // Graph
    connectedPoints,
    scope,
    warning,
    sparkles,
    filter,
    filterFilled,
    app,
    tag,
    linkMinus,
    openInApp,
    trash,
    xmarkCircle,
    zoomOut,
    zoomIn,
    reload, // keep last: the set is walked up to it
};

} // namespace morvane
