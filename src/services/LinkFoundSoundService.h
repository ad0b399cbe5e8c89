#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <memory>

namespace morvane {

class Clock;
class SoundPlayer;

// The short sound played when the item in front of the user is already saved. The same item sounds
// again only after the cooldown, measured on the monotonic clock so that setting the system time back
// cannot silence it; other items are not held back.
class LinkFoundSoundService {
public:
    LinkFoundSoundService(std::shared_ptr<SoundPlayer> player, std::shared_ptr<const Clock> clock);

    // key: the item's locator; volume is clamped to 0...1; a cooldown of 0 or less is off.
    void play(bool enabled, const QString& key, double volume, double cooldownSeconds);

private:
    std::shared_ptr<SoundPlayer> m_player;
    std::shared_ptr<const Clock> m_clock;
    QHash<QString, std::chrono::milliseconds> m_lastPlayedAtByKey;
    bool m_reportedNoDevice = false;
};

} // namespace morvane
