#include "app/IncomingUrls.h"

#include <QCoro/QCoroTimer>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using namespace std::chrono_literals;

// What waited for the handler is handled one item after the other, across deliveries, each with the
// token its own launch carried; a launch's token is never an item, and an older launch has none.
TEST(IncomingUrls, WhatWaitedIsHandledInOrderEachWithItsLaunchsToken)
{
    IncomingUrls incoming;
    incoming.receive({"morvane://open/1", "--activation-token=first_TIME1", "--graph"});
    incoming.receive({"--activation-token=ignored"}); // nothing for the running copy
    incoming.receive({"morvane://open/2"});
    incoming.receive({"--activate", "--activation-token=x\ty"}); // not a desktop's token
    QStringList handled;
    incoming.attach([&handled](QString item, QString token) -> QCoro::Task<> {
        handled.append("start " + item + " " + token);
        co_await QCoro::sleepFor(20ms);
        handled.append("end " + item);
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return handled.size() == 8; }, 5000));
    EXPECT_EQ(handled, (QStringList{"start morvane://open/1 first_TIME1", "end morvane://open/1",
                                    "start --graph first_TIME1", "end --graph", "start morvane://open/2 ",
                                    "end morvane://open/2", "start --activate ", "end --activate"}));
}
