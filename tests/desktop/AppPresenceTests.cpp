#include "desktop/AppPresence.h"
#include "desktop/X11AppPresence.h"

#include "FakeAppPresence.h"

#include <QPromise>

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(AppPresence, ApplyDockVisibilityChangesOnlyWhenNeededOrForcedAndShowingBringsItForward)
{
    struct Case {
        bool current, wanted, force;
        int setCalls, activations;
    };
    const Case cases[] = {
        {false, false, false, 0, 0}, {true, true, false, 0, 0},  {true, false, false, 1, 1},
        {false, true, false, 1, 0},  {false, false, true, 1, 1}, {true, true, true, 1, 0},
    };
    for (const Case& c : cases) {
        test::FakeAppPresence presence;
        presence.hidden = c.current;
        EXPECT_TRUE(applyDockVisibility(presence, c.wanted, c.force));
        EXPECT_EQ(presence.hidden, c.wanted);
        EXPECT_EQ(presence.setCalls, c.setCalls) << c.current << c.wanted << c.force;
        EXPECT_EQ(presence.activations, c.activations) << c.current << c.wanted << c.force;
    }
    test::FakeAppPresence refusing;
    refusing.refuseChanges = true;
    EXPECT_FALSE(applyDockVisibility(refusing, true, false));
}

// A compositor that answers each question when the test says.
class AnsweringCompositor : public CompositorWindows {
public:
    QFuture<Sight> sightOf(quint32 window) const override
    {
        asked.append(window);
        question = std::make_shared<QPromise<Sight>>();
        question->start();
        return question->future();
    }
    void answer(Sight sight) const
    {
        question->addResult(sight);
        question->finish();
    }

    mutable QList<quint32> asked;
    mutable std::shared_ptr<QPromise<Sight>> question;
};

TEST(X11AppPresence, AShownWindowIsCoveredOnlyWhenTheCompositorSaysSo)
{
    auto owned = std::make_unique<AnsweringCompositor>();
    const AnsweringCompositor& compositor = *owned;
    X11AppPresence presence(std::move(owned));
    QWidget window;
    const QFuture<bool> hidden = presence.isCovered(window);
    ASSERT_TRUE(hidden.isFinished());
    EXPECT_FALSE(hidden.result());
    EXPECT_TRUE(compositor.asked.isEmpty()) << "a hidden window is in nobody's way";

    window.show();
    using Sight = CompositorWindows::Sight;
    for (const Sight sight : {Sight::covered, Sight::shown, Sight::unknown}) {
        const QFuture<bool> covered = presence.isCovered(window);
        EXPECT_FALSE(covered.isFinished());
        compositor.answer(sight);
        EXPECT_EQ(covered.result(), sight == Sight::covered);
    }
    EXPECT_EQ(compositor.asked.last(), quint32(window.winId()));
}

} // namespace
} // namespace morvane
