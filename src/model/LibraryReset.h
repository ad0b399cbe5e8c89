#pragma once

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace morvane {

class UserDefaults;

// The marker of a library-wide erase, and what this machine keeps in the settings about markers.
struct LibraryReset {
    QUuid resetID;
    QDateTime resetAt;

    bool operator==(const LibraryReset&) const = default;

    static inline const QString resetAtKey = QStringLiteral("sync.lastAcknowledgedLibraryResetAt");
    static inline const QString resetIDKey = QStringLiteral("sync.lastAcknowledgedLibraryResetID");
    // The ids of the last markers this machine applied or wrote, oldest first.
    static inline const QString appliedIDsKey = QStringLiteral("sync.appliedLibraryResetIDs");
    static constexpr qsizetype appliedIDsKept = 16;
    // Whether a pass ever completed here: false from the moment sync is turned on until the first one;
    // absent where sync was on before this was kept (an older build's machine, or settings written
    // while the application was stopped), until the first pass decides it.
    static inline const QString completedPassKey = QStringLiteral("sync.hasCompletedPass");

    static std::optional<LibraryReset> loadAcknowledged(const UserDefaults& defaults);
    // Records the marker as the last acknowledged one and among the applied ones.
    static void saveAcknowledged(const LibraryReset& reset, UserDefaults& defaults);
    // Whether a marker found remotely still has to be applied here: one whose id this machine has not
    // applied or written. Times are not compared: they come from different machines' clocks.
    static bool shouldApply(const LibraryReset& reset, const UserDefaults& defaults);

    // A machine that has never completed a pass joins with its own library: the erase a marker stands
    // for happened before this library took part in sync. Nothing while it is not known.
    static std::optional<bool> completedPass(const UserDefaults& defaults);
    static void setCompletedPass(UserDefaults& defaults, bool completed);
    // Whether any marker was ever acknowledged here, by this build or an older one: a machine that
    // applied or wrote one has synced.
    static bool hasAnyAcknowledged(const UserDefaults& defaults);
    // Turning sync on where it was never on makes the machine a joining one.
    static void syncTurnedOn(UserDefaults& defaults);
};

} // namespace morvane
