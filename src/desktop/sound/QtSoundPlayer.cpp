#include "desktop/sound/QtSoundPlayer.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>

#include <utility>

namespace morvane {

namespace {
const QString soundResource = QStringLiteral(":/sounds/link_found.wav");
}

QtSoundPlayer::QtSoundPlayer()
{
    if (QFile::exists(soundResource))
        m_source = QUrl(QStringLiteral("qrc") + soundResource);
}

QtSoundPlayer::~QtSoundPlayer() = default;

SoundPlayer::Outcome QtSoundPlayer::play(double volume)
{
    if (m_source.isEmpty())
        return Outcome::soundMissing;
    // Asked before each play: without a device QSoundEffect neither fails nor stops "playing".
    if (QMediaDevices::audioOutputs().isEmpty())
        return Outcome::noOutputDevice;
    if (!m_sound) {
        m_sound = std::make_unique<QSoundEffect>();
        // The first chime waits for the sound to be loaded, and plays then.
        QObject::connect(m_sound.get(), &QSoundEffect::statusChanged, m_sound.get(), [this] {
            if (m_sound->status() == QSoundEffect::Ready && std::exchange(m_playWhenLoaded, false))
                m_sound->play();
        });
        m_sound->setSource(m_source);
    }
    m_sound->setVolume(static_cast<float>(volume));
    m_sound->stop();
    if (m_sound->status() == QSoundEffect::Ready)
        m_sound->play();
    else
        m_playWhenLoaded = true;
    return Outcome::played;
}

} // namespace morvane
