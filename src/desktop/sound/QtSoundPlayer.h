#pragma once

#include "platform/SoundPlayer.h"

#include <QUrl>

#include <memory>

class QSoundEffect;

namespace morvane {

// The link-found chime through QSoundEffect, loaded from the application's resources when it is first
// played: until then the application keeps no connection to the sound server.
class QtSoundPlayer final : public SoundPlayer {
public:
    QtSoundPlayer();
    ~QtSoundPlayer() override;
    Outcome play(double volume) override;

private:
    QUrl m_source;
    std::unique_ptr<QSoundEffect> m_sound;
    bool m_playWhenLoaded = false;
};

} // namespace morvane
