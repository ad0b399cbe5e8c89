#pragma once

namespace morvane {

// Plays the application's one short sound. Main thread.
class SoundPlayer {
public:
    enum class Outcome { played, soundMissing, noOutputDevice };

    virtual ~SoundPlayer() = default;
    // Stops the sound if it still plays and starts it again at the volume (0 to 1).
    virtual Outcome play(double volume) = 0;
};

} // namespace morvane
