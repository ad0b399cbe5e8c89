#include "LinkFoundSoundService.h"

#include "foundation/Clock.h"
#include "foundation/Logging.h"
#include "platform/SoundPlayer.h"

#include <algorithm>

MORVANE_LOGGING_CATEGORY(lcSound, "LinkFoundSound")

namespace morvane {

LinkFoundSoundService::LinkFoundSoundService(std::shared_ptr<SoundPlayer> player,
                                             std::shared_ptr<const Clock> clock)
    : m_player(std::move(player))
    , m_clock(std::move(clock))
{
}

void LinkFoundSoundService::play(bool enabled, const QString& key, double volume, double cooldownSeconds)
{
    if (!enabled)
        return;
    const std::chrono::milliseconds now = m_clock->monotonic();
    if (cooldownSeconds > 0) {
        const auto last = m_lastPlayedAtByKey.constFind(key);
        const std::chrono::duration<double> cooldown(cooldownSeconds);
        if (last != m_lastPlayedAtByKey.cend() && now - *last < cooldown)
            return;
    }
    switch (m_player->play(std::clamp(volume, 0.0, 1.0))) {
    case SoundPlayer::Outcome::played:
        m_lastPlayedAtByKey.insert(key, now);
        break;
    case SoundPlayer::Outcome::soundMissing:
        qCInfo(lcSound) << "Unable to find bundled link-found sound";
        break;
    case SoundPlayer::Outcome::noOutputDevice:
        // Nothing changes until a device appears: once is enough.
        if (!std::exchange(m_reportedNoDevice, true))
            qCInfo(lcSound) << "No audio output device; the link-found sound stays silent";
        break;
    }
}

} // namespace morvane
