#pragma once

#include "QuickPanelKeyMap.h"

#include <QPoint>

namespace morvane {

// One wheel event in the stepper's terms: a positive dy scrolls towards the top of the list.
struct QuickPanelWheelDelta {
    double dx = 0;
    double dy = 0;
    // Distances that add up (a touchpad, a smooth wheel) rather than one notch per event.
    bool precise = false;

    // From a wheel event's two deltas. Pixel deltas are precise. A notched wheel sends whole
    // multiples of 120 in its angle delta; a high-resolution wheel sends fractions of that without
    // pixels, and those add up so that a full notch's worth still makes one step.
    static QuickPanelWheelDelta fromQt(QPoint pixelDelta, QPoint angleDelta);

    friend bool operator==(const QuickPanelWheelDelta&, const QuickPanelWheelDelta&) = default;
};

struct QuickPanelScrollResult {
    // Rows to move the selection by: positive towards the next rows.
    int steps = 0;
    // False lets the event scroll whatever is under it.
    bool consumed = false;

    friend bool operator==(const QuickPanelScrollResult&, const QuickPanelScrollResult&) = default;
};

// Turns wheel and touchpad scrolling into whole selection steps: the list never scrolls by itself,
// the selection moves and the list follows it.
class QuickPanelScrollStepper {
public:
    // Points of precise scrolling per step.
    static constexpr double preciseThreshold = 10;

    QuickPanelScrollResult scroll(const QuickPanelWheelDelta& delta, const QuickPanelInputState& state);

    // Forgets a partial step; the panel calls it on every show.
    void reset() { m_accumulator = 0; }

    double accumulator() const { return m_accumulator; }

private:
    double m_accumulator = 0;
};

} // namespace morvane
