#pragma once

#include "platform/LoadableModule.h"
#include "platform/SoundPlayer.h"

#include <memory>

namespace morvane {

// The module's one entry point: the player it holds. Its name carries the interface's revision.
using MakeSoundPlayer = SoundPlayer* (*)();
inline constexpr const char* makeSoundPlayerEntry = "morvane_make_sound_player_1";

// The sound through the player of libmorvane-sound.so, loaded on the first play: most starts play
// nothing, and the player links Qt Multimedia and the sound server's client. Without the module the
// sound stays silent, as without an output device (the log says why once). Main thread.
class ModuleSoundPlayer final : public SoundPlayer {
public:
    explicit ModuleSoundPlayer(const QString& module = QStringLiteral("sound"));
    ~ModuleSoundPlayer() override;

    Outcome play(double volume) override;

private:
    LoadableModule m_module;
    std::unique_ptr<SoundPlayer> m_player;
};

} // namespace morvane
