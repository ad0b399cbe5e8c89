#include "QtSoundPlayer.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>

namespace morvane {

namespace {
const QString soundResource = QStringLiteral(":/sounds/link_found.wav");
}

QtSoundPlayer::QtSoundPlayer()
{
    if (QFile::exists(soundResource))
        m_sound.setSource(QUrl(QStringLiteral("qrc") + soundResource));
}

SoundPlayer::Outcome QtSoundPlayer::play(double volume)
{
    if (m_sound.source().isEmpty())
        return Outcome::soundMissing;
    // Asked before each play: without a device QSoundEffect neither fails nor stops "playing".
    if (QMediaDevices::audioOutputs().isEmpty())
        return Outcome::noOutputDevice;
    m_sound.setVolume(static_cast<float>(volume));
    m_sound.stop();
    m_sound.play();
    return Outcome::played;
}

} // namespace morvane
