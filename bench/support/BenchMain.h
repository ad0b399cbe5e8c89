#pragma once

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace morvane::bench {

// The main of a benchmark whose code awaits futures or timers: they need a Qt application object
// on the main thread.
inline int runWithCoreApplication(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace morvane::bench
