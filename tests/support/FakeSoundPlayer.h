#pragma once

#include "platform/SoundPlayer.h"

#include <QList>

namespace morvane::test {

// Answers every play with the outcome the test sets and records the volumes of the plays.
class FakeSoundPlayer final : public SoundPlayer {
public:
    Outcome play(double volume) override
    {
        ++attempts;
        if (outcome == Outcome::played)
            volumes.append(volume);
        return outcome;
    }

    Outcome outcome = Outcome::played;
    int attempts = 0;
    QList<double> volumes;
};

} // namespace morvane::test
