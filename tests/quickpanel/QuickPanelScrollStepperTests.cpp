#include "quickpanel/QuickPanelScrollStepper.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

const QuickPanelInputState searching{};

QuickPanelWheelDelta precise(double dy, double dx = 0)
{
    return {dx, dy, true};
}
QuickPanelWheelDelta notched(double dy, double dx = 0)
{
    return {dx, dy, false};
}

TEST(QuickPanelScrollStepperTests, PreciseScrollingAddsUpToWholeStepsAndKeepsTheRemainder)
{
    QuickPanelScrollStepper stepper;
    EXPECT_EQ(stepper.scroll(precise(-25), searching), (QuickPanelScrollResult{2, true}));
    EXPECT_DOUBLE_EQ(stepper.accumulator(), -5);
    EXPECT_EQ(stepper.scroll(precise(5), searching), (QuickPanelScrollResult{0, true}));
    EXPECT_DOUBLE_EQ(stepper.accumulator(), 0);

    EXPECT_EQ(stepper.scroll(precise(6), searching), (QuickPanelScrollResult{0, true}));
    EXPECT_EQ(stepper.scroll(precise(6), searching), (QuickPanelScrollResult{-1, true}));
    EXPECT_DOUBLE_EQ(stepper.accumulator(), 2);
    stepper.reset();
    EXPECT_EQ(stepper.scroll(precise(9), searching), (QuickPanelScrollResult{0, true}));
}

TEST(QuickPanelScrollStepperTests, ANotchIsOneStepWhateverItsSize)
{
    QuickPanelScrollStepper stepper;
    EXPECT_EQ(stepper.scroll(notched(120), searching), (QuickPanelScrollResult{-1, true}));
    EXPECT_EQ(stepper.scroll(notched(-360), searching), (QuickPanelScrollResult{1, true}));
    EXPECT_EQ(stepper.scroll(notched(-1), searching), (QuickPanelScrollResult{1, true}));
    EXPECT_DOUBLE_EQ(stepper.accumulator(), 0);
}

TEST(QuickPanelScrollStepperTests, PassesOnWhatIsNotVerticalScrollingOfTheList)
{
    QuickPanelScrollStepper stepper;
    EXPECT_FALSE(stepper.scroll(precise(5, 30), searching).consumed);
    EXPECT_FALSE(stepper.scroll(notched(120, 240), searching).consumed);
    EXPECT_FALSE(stepper.scroll(precise(0.005), searching).consumed);
    EXPECT_FALSE(stepper.scroll(precise(-40), QuickPanelInputState{.addMode = true}).consumed);
    EXPECT_DOUBLE_EQ(stepper.accumulator(), 0);
    // Equal distances count as vertical.
    EXPECT_TRUE(stepper.scroll(notched(120, 120), searching).consumed);
}

TEST(QuickPanelScrollStepperTests, APendingConfirmationSwallowsEveryWheelEvent)
{
    QuickPanelScrollStepper stepper;
    stepper.scroll(precise(-4), searching);
    for (const QuickPanelInputState state :
         {QuickPanelInputState{.deletePending = true},
          QuickPanelInputState{.addMode = true, .relationDeletePending = true}}) {
        EXPECT_EQ(stepper.scroll(precise(-40), state), (QuickPanelScrollResult{0, true}));
        EXPECT_EQ(stepper.scroll(notched(0, 120), state), (QuickPanelScrollResult{0, true}));
    }
    EXPECT_DOUBLE_EQ(stepper.accumulator(), -4);
}

TEST(QuickPanelScrollStepperTests, ReadsWheelEventsOfEachKindOfDevice)
{
    const QuickPanelWheelDelta touchpad = QuickPanelWheelDelta::fromQt(QPoint(3, -25), QPoint(24, -200));
    EXPECT_TRUE(touchpad.precise);
    EXPECT_EQ(touchpad.dy, -25);
    EXPECT_EQ(touchpad.dx, 3);

    const QuickPanelWheelDelta wheel = QuickPanelWheelDelta::fromQt(QPoint(), QPoint(0, 240));
    EXPECT_FALSE(wheel.precise);
    EXPECT_GT(wheel.dy, 0);

    // A high-resolution wheel: eight eighths of a notch make exactly one step.
    QuickPanelScrollStepper stepper;
    int steps = 0;
    for (int i = 0; i < 8; ++i)
        steps += stepper.scroll(QuickPanelWheelDelta::fromQt(QPoint(), QPoint(0, -15)), searching).steps;
    EXPECT_EQ(steps, 1);
    EXPECT_NEAR(stepper.accumulator(), 0, 1e-9);
}

} // namespace
} // namespace morvane
