#pragma once

#include "LinkType.h"

#include "foundation/Glyph.h"
#include "foundation/SystemColor.h"

#include <QString>

namespace morvane {

// How a link type is shown wherever it appears (panel rows, graph node cards, the graph's filter
// menu): one glyph, one colour and one title, so the two windows never disagree.
struct LinkTypePresentation {
    Glyph glyph;
    SystemColor color;
    QString title;
};

LinkTypePresentation presentation(LinkType type);

} // namespace morvane
