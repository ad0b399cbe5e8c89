#pragma once

#include "model/FileIdentity.h"
#include "model/LinkItem.h"

#include <QString>

namespace morvane {

// A saved file link that may be the file the user has selected now, graded by how it matched.
struct FileMatchCandidate {
    // Strongest first; lists of candidates are ordered by this declaration order.
    enum class Confidence { exactLocal, sameNameAndFingerprint, sameFingerprint, sameNameAndSize, sameName };

    LinkItem item;
    QString selectedURL; // file URL text
    FileIdentity selectedIdentity;
    Confidence confidence = Confidence::sameName;
    bool requiresConfirmation = true;

    // "<link UUID>-<confidence>": one link gives two ids exactly when the confidences differ.
    QString id() const;

    bool operator==(const FileMatchCandidate&) const = default;

    static QString rawValue(Confidence confidence);
};

} // namespace morvane
