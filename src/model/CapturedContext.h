#pragma once

#include "model/FileIdentity.h"
#include "model/LinkType.h"

#include <QString>

#include <optional>

namespace morvane {

// What a context provider captured of the item in front of the user.
struct CapturedContext {
    QString title;
    QString locator;
    LinkType type = LinkType::file;
    QString sourceApp;
    std::optional<FileIdentity> fileIdentity;

    // Texts compare by canonical equivalence; the identity field by field.
    bool operator==(const CapturedContext& other) const;
};

} // namespace morvane
