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

// The name a stored source application is shown by (panel rows, the graph's application filter).
// Folders saved on a Mac name "Finder", which is no application here: they show "File Manager".
// Stored values, records and backups keep the stored name, and filters match on it.
QString sourceAppDisplayName(const QString& storedName);

} // namespace morvane
