#pragma once

#include "platform/SoundPlayer.h"

#include <QSoundEffect>

namespace morvane {

// The link-found chime through QSoundEffect, loaded once from the application's resources.
class QtSoundPlayer final : public SoundPlayer {
public:
    QtSoundPlayer();
    Outcome play(double volume) override;

private:
    QSoundEffect m_sound;
};

} // namespace morvane
