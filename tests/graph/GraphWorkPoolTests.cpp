#include "GraphTestSupport.h"
#include "graph/GraphWorkPool.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>

using namespace morvane;
using test::BusyPool;
using test::settle;

// Every part runs once, with the pool free or with every thread of it held by other work: the caller
// never waits for a part no thread has begun.
TEST(GraphWorkPoolTests, EveryPartRunsOnceEvenWhileThePoolIsBusy)
{
    GraphWorkPool pool(3);
    for (const bool busy : {false, true}) {
        std::optional<BusyPool> held;
        if (busy)
            held.emplace(pool, 3);
        std::array<std::atomic<int>, 40> runs{};
        pool.inParallel(int(runs.size()), [&](int part) { ++runs[size_t(part)]; });
        for (size_t part = 0; part < runs.size(); ++part)
            EXPECT_EQ(runs[part], 1) << "part " << part << (busy ? ", pool busy" : ", pool free");
    }
}

// Reading the library keeps no thread of the pool waiting for the store: work given to a pool of one
// thread runs while the store is still busy, and the library comes in once the store is free.
TEST(GraphWorkPoolTests, ALibraryReadHoldsNoThreadWhileTheStoreIsBusy)
{
    test::GraphFixture fx;
    fx.save(test::titledItems(3));
    const auto pool = std::make_shared<GraphWorkPool>(1);
    QSemaphore storeGate;
    struct Release {
        QSemaphore& gate;
        ~Release() { gate.release(); }
    } release{storeGate};
    LinkStoreDatabase(*fx.store).run([&](SQLiteStore&) { storeGate.acquire(); });

    QFuture<GraphLibrary> library = GraphLibrary::read(*fx.store, pool);
    QFuture<int> other = pool->run([] { return 1; });
    EXPECT_TRUE(settle([&] { return other.isFinished(); }));
    EXPECT_FALSE(library.isFinished());

    storeGate.release();
    ASSERT_TRUE(settle([&] { return library.isFinished(); }));
    EXPECT_EQ(library.result().items.size(), 3);
}
