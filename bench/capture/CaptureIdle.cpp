// The idle cost of the context monitor: the X11 workspace, this system's script runner, the
// providers, the service and the monitor polling every 3 seconds, for a number of seconds (60 by
// default, the first argument otherwise); then the process's CPU time over that span, as a share of
// one core. Run it by hand on a desktop with nothing in front, or under Xvfb with a window manager.

#include "BenchSupport.h"
#include "capture/ActiveContextMonitor.h"
#include "capture/ActiveContextService.h"
#include "capture/BrowserActiveContextProvider.h"
#include "capture/FinderActiveContextProvider.h"
#include "capture/MailActiveContextProvider.h"
#include "desktop/X11Workspace.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/Clock.h"
#include "platform/AtspiAccessibilityApi.h"
#include "platform/ScriptRunner.h"
#include "store/LinkStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>

using namespace morvane;

namespace {

std::chrono::microseconds cpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto micros = [](const timeval& t) {
        return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec);
    };
    return micros(usage.ru_utime) + micros(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_NO_GLIB", "1"); // GLib's main context is the accessibility thread's
    QCoreApplication application(argc, argv);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : (bench::smokeRun() ? 1 : 60);

    QTemporaryDir folder;
    auto identity = std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    LinkStore store(LinkStore::libraryAt(folder.filePath(QStringLiteral("Morvane.sqlite"))), identity);
    const std::shared_ptr<Clock> clock = SystemClock::shared();
    auto workspace = std::make_shared<X11Workspace>(QStringLiteral("org.morvane.CaptureIdle"), clock);
    auto scripts = std::make_shared<UnavailableScriptRunner>();
    auto accessibility = std::make_shared<AtspiAccessibilityApi>();
    auto service = std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>{
        std::make_shared<FinderActiveContextProvider>(workspace, scripts, identity),
        std::make_shared<MailActiveContextProvider>(workspace, scripts),
        std::make_shared<BrowserActiveContextProvider>(workspace, scripts, accessibility)});
    int reports = 0;
    ActiveContextMonitor monitor(store, service, clock,
                                 [&](bool, const std::optional<CapturedContext>&) { ++reports; });

    const auto start = cpuTime();
    monitor.start();
    QTimer::singleShot(std::chrono::seconds(seconds), &application, &QCoreApplication::quit);
    QCoreApplication::exec();
    monitor.stop();
    const auto used = cpuTime() - start;

    std::printf("display %s, %d s of polling: %.1f ms of CPU, %.3f %% of one core, %d reports\n",
                workspace->isAvailable() ? "available" : "not available", seconds, used.count() / 1000.0,
                100.0 * used.count() / (seconds * 1e6), reports);
    return 0;
}
