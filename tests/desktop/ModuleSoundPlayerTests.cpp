#include "platform/ModuleSoundPlayer.h"

#include <gtest/gtest.h>

using namespace morvane;

// The player of the sound module finds the chime among the program's own resources and plays it, or
// stays silent for want of an output device; the module is loaded once, on the first play.
TEST(ModuleSoundPlayer, TheModulesPlayerFindsTheChimeOfTheProgram)
{
    ModuleSoundPlayer player;
    for (int play = 0; play < 2; ++play) {
        const SoundPlayer::Outcome outcome = player.play(0.0);
        EXPECT_TRUE(outcome == SoundPlayer::Outcome::played ||
                    outcome == SoundPlayer::Outcome::noOutputDevice);
    }
}
