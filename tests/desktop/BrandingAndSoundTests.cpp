#include "desktop/Branding.h"
#include "desktop/QtSoundPlayer.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include <gtest/gtest.h>

using namespace morvane;

TEST(Branding, VersionTextAndIconComeFromTheBuild)
{
    EXPECT_EQ(appDisplayName(), "Morvane");
    EXPECT_TRUE(appVersionText().startsWith("Morvane ")) << appVersionText().toStdString();
    EXPECT_EQ(versionText("Morvane", "1.2", ""), "Morvane 1.2 (?)");
    EXPECT_FALSE(applicationIcon().isNull());
}

TEST(QtSoundPlayer, WithoutAnAudioDeviceNothingPlays)
{
    if (!QMediaDevices::audioOutputs().isEmpty())
        GTEST_SKIP() << "this machine has an audio output";
    QtSoundPlayer player;
    EXPECT_EQ(player.play(1.0), SoundPlayer::Outcome::noOutputDevice);
}
