#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <initializer_list>
#include <vector>

namespace morvane::bench {

// True when ctest runs the benchmark once as a smoke test: generators then use tiny sizes.
inline bool smokeRun()
{
    return qEnvironmentVariable("MORVANE_BENCH_SMOKE") == QStringLiteral("1");
}

// The sizes to measure: the real ones by hand, a tiny one under the smoke test.
inline std::vector<long> sizes(std::initializer_list<long> real, long smoke = 100)
{
    if (smokeRun())
        return {smoke};
    return real;
}

} // namespace morvane::bench
