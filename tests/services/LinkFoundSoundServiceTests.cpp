#include "FakeSoundPlayer.h"
#include "LogCapture.h"
#include "ManualClock.h"

#include "services/LinkFoundSoundService.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;

TEST(LinkFoundSound, TheSameItemSoundsAgainOnlyAfterItsCooldownOnTheMonotonicClock)
{
    auto player = std::make_shared<FakeSoundPlayer>();
    auto clock = std::make_shared<ManualClock>();
    LinkFoundSoundService sound(player, clock);

    sound.play(false, "a", 1, 0);
    sound.play(true, "a", 1.7, 30);
    sound.play(true, "a", 1, 30);            // within the cooldown
    sound.play(true, "b", -0.2, 30);         // another item is not held back
    clock->setNow(clock->now().addDays(-1)); // the wall clock set back changes nothing
    clock->advance(29s);
    sound.play(true, "a", 0.5, 30);
    clock->advance(1s);
    sound.play(true, "a", 0.5, 30);
    sound.play(true, "a", 0.25, 0); // cooldown off
    EXPECT_EQ(player->volumes, (QList<double>{1.0, 0.0, 0.5, 0.25}));
}

TEST(LinkFoundSound, WithoutADeviceItIsSilentAndSaysSoOnceAMissingSoundEveryTime)
{
    auto player = std::make_shared<FakeSoundPlayer>();
    LinkFoundSoundService sound(player, std::make_shared<ManualClock>());
    LogCapture log(QStringLiteral("morvane.LinkFoundSound"));
    player->outcome = SoundPlayer::Outcome::noOutputDevice;
    sound.play(true, "a", 1, 30);
    sound.play(true, "a", 1, 30); // not played, so not cooling down
    EXPECT_EQ(player->attempts, 2);
    player->outcome = SoundPlayer::Outcome::soundMissing;
    sound.play(true, "a", 1, 30);
    sound.play(true, "a", 1, 30);
    EXPECT_EQ(log.lines(), (QStringList{"No audio output device; the link-found sound stays silent",
                                        "Unable to find bundled link-found sound",
                                        "Unable to find bundled link-found sound"}));
}
