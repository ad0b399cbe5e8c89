// The compiler fault behind the coroutine rule in the README, and the shapes the rule leaves allowed.
// Objects count their constructions and destructions instead of owning memory, so the fault shows as a
// count rather than as a double free.

#include <QFuture>
#include <QPromise>
#include <QTimer>

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Counts {
    int made = 0;
    int destroyed = 0;
};

// Counts each object made and destroyed; one destroyed twice counts twice.
class Counted {
public:
    explicit Counted(Counts& counts)
        : m_counts(&counts)
    {
        ++m_counts->made;
    }
    Counted(const Counted& other)
        : m_counts(other.m_counts)
    {
        ++m_counts->made;
    }
    Counted& operator=(const Counted&) = default;
    ~Counted() { ++m_counts->destroyed; }

private:
    Counts* m_counts;
};

// An aggregate: made by braces, with no constructor of its own.
struct Request {
    Counted tag;
    int value = 0;
};

// A value that arrives on a later turn of the event loop, so that every co_await below suspends.
QFuture<int> later(int value)
{
    QPromise<int> promise;
    QFuture<int> future = promise.future();
    promise.start();
    QTimer::singleShot(0, [promise = std::make_shared<QPromise<int>>(std::move(promise)), value] {
        promise->addResult(value);
        promise->finish();
    });
    return future;
}

QFuture<int> answer(const Request& request)
{
    return later(request.value);
}

template <class Work> QFuture<int> runLater(Work&& work)
{
    return later(work());
}

QFuture<std::vector<int>> listLater(const Counted&)
{
    QPromise<std::vector<int>> promise;
    QFuture<std::vector<int>> future = promise.future();
    promise.start();
    QTimer::singleShot(0, [promise = std::make_shared<QPromise<std::vector<int>>>(std::move(promise))] {
        promise->addResult(std::vector<int>{1, 2, 3});
        promise->finish();
    });
    return future;
}

// The forbidden shapes: a braced aggregate and a capturing lambda made in the statement that suspends.
QCoro::Task<int> bracedInTheWait(Counts& counts)
{
    int sum = co_await answer(Request{Counted(counts), 1});
    const Counted captured(counts);
    sum += co_await runLater([captured] { return 2; });
    co_return sum;
}

// What the rule asks instead, and the shapes it leaves alone.
QCoro::Task<int> namedBeforeTheWait(Counts& counts)
{
    const Request request{Counted(counts), 1};
    int sum = co_await answer(request);
    const Counted captured(counts);
    auto work = [captured] { return 2; };
    sum += co_await runLater(std::move(work));
    // A temporary of a class with a constructor, and a range-for straight over a co_await.
    for (const int value : co_await listLater(Counted(counts)))
        sum += value;
    co_return sum;
}

} // namespace

TEST(CoroutineTemporaries, NamedBeforeTheWaitOrMadeByAConstructorEachObjectIsDestroyedOnce)
{
    Counts counts;
    EXPECT_EQ(QCoro::waitFor(namedBeforeTheWait(counts)), 9);
    EXPECT_EQ(counts.destroyed, counts.made);
}

// g++ 12 destroys both temporaries a second time when the statement resumes. Should this fail after a
// compiler upgrade, the fault is gone: lift the rule and its check.
TEST(CoroutineTemporaries, ThisCompilerDestroysABracedTemporaryInASuspendingStatementTwice)
{
    Counts counts;
    EXPECT_EQ(QCoro::waitFor(bracedInTheWait(counts)), 3);
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
    EXPECT_EQ(counts.destroyed, counts.made + 2);
#else
    EXPECT_EQ(counts.destroyed, counts.made);
#endif
}
