#include "ParallelParts.h"

#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

namespace morvane {

namespace {

QThreadPool& graphPool()
{
    static QThreadPool pool;
    return pool;
}

} // namespace

int parallelParts()
{
    return std::clamp(QThread::idealThreadCount(), 1, 8);
}

void inParallel(int parts, const std::function<void(int)>& work)
{
    if (parts <= 1) {
        if (parts == 1)
            work(0);
        return;
    }
    QSemaphore done;
    for (int part = 1; part < parts; ++part) {
        graphPool().start([&, part] {
            work(part);
            done.release();
        });
    }
    work(0);
    done.acquire(parts - 1);
}

} // namespace morvane
