// The lookup a Wayland session's workspace makes when the X display names no window in front: every
// application on the accessibility bus, the first frame in state active. Budget: 20 ms median. With
// no bus (the smoke run), the lookup answers at once and the benchmark says so.

#include "BenchMain.h"
#include "platform/AtspiAccessibilityApi.h"
#include "platform/NativeFrontWindow.h"

#include <benchmark/benchmark.h>

using namespace morvane;

namespace {

std::shared_ptr<AtspiAccessibilityApi> accessibility()
{
    // Lives to the end: its thread outlasts every benchmark.
    static auto* shared =
        new std::shared_ptr<AtspiAccessibilityApi>(std::make_shared<AtspiAccessibilityApi>());
    return *shared;
}

void BM_NativeFrontWindowLookup(benchmark::State& state)
{
    const std::shared_ptr<AtspiAccessibilityApi> bus = accessibility();
    bus->refreshTrust().waitForFinished();
    const NativeFrontWindow front(bus);
    std::optional<NativeWindow> found;
    for (auto _ : state) {
        found = front.lookUp().result();
        benchmark::DoNotOptimize(found);
    }
    const QString label = !front.isReadable() ? QStringLiteral("no accessibility bus")
                          : found             ? found->applicationName + QStringLiteral(": ") + found->title
                                              : QStringLiteral("no active frame");
    state.SetLabel(label.toStdString());
}
BENCHMARK(BM_NativeFrontWindowLookup)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return morvane::bench::runWithApplication(argc, argv);
}
