#pragma once

#include "foundation/FreedMemory.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace morvane::bench {

// The main of a benchmark whose code awaits futures or timers, or paints: they need a Qt application
// object (QCoreApplication, or QApplication for painting) on the main thread. The allocator keeps as
// little as the application's does.
template <class Application = QCoreApplication> int runWithApplication(int argc, char** argv)
{
    keepLittleFreedMemory();
    Application application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace morvane::bench
