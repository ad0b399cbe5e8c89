#include "quickpanel/QuickPanelScrollStepper.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

using Result = QuickPanelScrollResult;

constexpr QuickPanelInputState searching{};
constexpr QuickPanelWheelDelta precise(double dy, double dx = 0)
{
    return {dx, dy, true};
}
constexpr QuickPanelWheelDelta notched(double dy, double dx = 0)
{
    return {dx, dy, false};
}

TEST(QuickPanelScrollStepperTests, TurnsScrollingIntoWholeSteps)
{
    QuickPanelScrollStepper stepper;
    EXPECT_EQ(stepper.scroll(precise(-25), searching), (Result{2, true}));
    EXPECT_DOUBLE_EQ(stepper.accumulator(), -5);
    EXPECT_EQ(stepper.scroll(precise(5), searching), (Result{0, true}));
    EXPECT_EQ(stepper.scroll(precise(12), searching), (Result{-1, true}));
    EXPECT_EQ(stepper.scroll(notched(-360), searching), (Result{1, true}));
    EXPECT_EQ(stepper.scroll(notched(1), searching), (Result{-1, true}));
    EXPECT_DOUBLE_EQ(stepper.accumulator(), 2);
}

TEST(QuickPanelScrollStepperTests, PassesOnSidewaysAndTinyScrollingAndSwallowsItUnderACard)
{
    QuickPanelScrollStepper stepper;
    EXPECT_FALSE(stepper.scroll(precise(5, 30), searching).consumed);
    EXPECT_FALSE(stepper.scroll(precise(0.005), searching).consumed);
    EXPECT_FALSE(stepper.scroll(precise(-40), {.addMode = true}).consumed);
    EXPECT_EQ(stepper.scroll(precise(-40), {.addMode = true, .deletePending = true}), (Result{0, true}));
    EXPECT_EQ(stepper.scroll(notched(0, 120), {.relationDeletePending = true}), (Result{0, true}));
    EXPECT_DOUBLE_EQ(stepper.accumulator(), 0);
}

TEST(QuickPanelScrollStepperTests, ReadsEachKindOfDevice)
{
    EXPECT_EQ(QuickPanelWheelDelta::fromQt(QPoint(3, -25), QPoint(24, -200)), precise(-25, 3));
    EXPECT_FALSE(QuickPanelWheelDelta::fromQt(QPoint(), QPoint(0, 240)).precise);

    // A high-resolution wheel: eight eighths of a notch make exactly one step.
    QuickPanelScrollStepper stepper;
    int steps = 0;
    for (int i = 0; i < 8; ++i)
        steps += stepper.scroll(QuickPanelWheelDelta::fromQt(QPoint(), QPoint(0, -15)), searching).steps;
    EXPECT_EQ(steps, 1);
}

} // namespace
} // namespace morvane
