#include "QuickPanelScrollStepper.h"

#include <cmath>

namespace morvane {

namespace {

// Eighths of a degree in one notch of a wheel.
constexpr int notch = 120;
// Tinier movements are jitter, not scrolling.
constexpr double jitter = 0.01;

} // namespace

QuickPanelWheelDelta QuickPanelWheelDelta::fromQt(QPoint pixelDelta, QPoint angleDelta)
{
    if (!pixelDelta.isNull())
        return {double(pixelDelta.x()), double(pixelDelta.y()), true};
    if (angleDelta.x() % notch != 0 || angleDelta.y() % notch != 0) {
        const double scale = QuickPanelScrollStepper::preciseThreshold / notch;
        return {angleDelta.x() * scale, angleDelta.y() * scale, true};
    }
    return {double(angleDelta.x()), double(angleDelta.y()), false};
}

QuickPanelScrollResult QuickPanelScrollStepper::scroll(const QuickPanelWheelDelta& delta,
                                                       const QuickPanelInputState& state)
{
    // A confirmation card is modal: the list behind it must not move, and nothing may scroll.
    if (state.confirmationPending())
        return {0, true};
    if (state.addMode)
        return {};
    if (!(std::abs(delta.dy) > jitter && std::abs(delta.dy) >= std::abs(delta.dx)))
        return {};

    if (!delta.precise)
        return {delta.dy > 0 ? -1 : 1, true};

    int steps = 0;
    m_accumulator += delta.dy;
    while (m_accumulator >= preciseThreshold) {
        m_accumulator -= preciseThreshold;
        --steps;
    }
    while (m_accumulator <= -preciseThreshold) {
        m_accumulator += preciseThreshold;
        ++steps;
    }
    return {steps, true};
}

} // namespace morvane
