// The entry point of libmorvane-sound.so, which the application loads when the link-found sound
// first plays.
#include "desktop/sound/QtSoundPlayer.h"
#include "platform/ModuleSoundPlayer.h"

#include <type_traits>

extern "C" Q_DECL_EXPORT morvane::SoundPlayer* morvane_make_sound_player_1()
{
    return new morvane::QtSoundPlayer;
}

static_assert(std::is_same_v<decltype(&morvane_make_sound_player_1), morvane::MakeSoundPlayer>);
