#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace morvane {

class UserDefaults;

// The marker of a library-wide erase, and its acknowledgement in the settings.
struct LibraryReset {
    QUuid resetID;
    QDateTime resetAt;

    bool operator==(const LibraryReset&) const = default;

    static inline const QString resetAtKey = QStringLiteral("sync.lastAcknowledgedLibraryResetAt");
    static inline const QString resetIDKey = QStringLiteral("sync.lastAcknowledgedLibraryResetID");

    static std::optional<LibraryReset> loadAcknowledged(const UserDefaults& defaults);
    static void saveAcknowledged(const LibraryReset& reset, UserDefaults& defaults);
    // Whether a reset found remotely still has to be applied here.
    static bool shouldApply(const LibraryReset& reset, const UserDefaults& defaults);
};

} // namespace morvane
