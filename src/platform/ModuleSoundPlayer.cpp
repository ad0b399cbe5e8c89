#include "ModuleSoundPlayer.h"

namespace morvane {

ModuleSoundPlayer::ModuleSoundPlayer(const QString& module)
    : m_module(module)
{
}

ModuleSoundPlayer::~ModuleSoundPlayer() = default;

SoundPlayer::Outcome ModuleSoundPlayer::play(double volume)
{
    if (!m_player) {
        const auto make = reinterpret_cast<MakeSoundPlayer>(m_module.entry(makeSoundPlayerEntry));
        if (!make)
            return Outcome::noOutputDevice;
        m_player.reset(make());
    }
    return m_player->play(volume);
}

} // namespace morvane
