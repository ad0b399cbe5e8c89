#pragma once

#include "model/LinkType.h"

#include <QString>

namespace morvane {

// What the link parser makes of a title and a locator text.
struct ParsedLink {
    QString title;
    QString url;
    LinkType type = LinkType::web;
    QString sourceApp;

    bool operator==(const ParsedLink&) const = default;
};

} // namespace morvane
