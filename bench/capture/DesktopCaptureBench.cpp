// One capture from each desktop application as the poll makes it, beside its floor: the same
// questions asked in the barest way (raw Qt DBus calls; a direct read of the folder file). The
// applications' benchmarks need them running: bench/capture/desktop_capture_bench.sh starts them on
// their own X server and buses and passes their process ids; without those only the mail folder
// benchmarks run.

#include "BenchSupport.h"
#include "FakeWorkspace.h"
#include "capture/DesktopApplicationContextProvider.h"
#include "capture/FileManagerReader.h"
#include "capture/MailFolderIndex.h"
#include "capture/MailMessageMatch.h"
#include "capture/PdfViewerReader.h"
#include "capture/ThunderbirdMessageReader.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "platform/AtspiAccessibilityApi.h"
#include "platform/FileManagerBus.h"
#include "platform/PdfViewerBus.h"
#include "platform/ProcessOpenFiles.h"
#include "platform/SessionBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atspi/atspi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

using namespace morvane;

namespace {

qint64 processIdOf(const char* variable)
{
    return qEnvironmentVariableIntValue(variable);
}

// Benchmarks whose reader found nothing: the program says so at its end and fails.
std::atomic<int> failures = 0;

// Fails the benchmark: a reader that found nothing has no figure worth keeping. Callers leave the
// loop at once; the benchmarks after it still run.
void fail(benchmark::State& state, const char* why)
{
    ++failures;
    state.SkipWithError(why);
}

// An mbox of count messages, each with its own subject, in the Thunderbird layout.
QString writeMbox(const QTemporaryDir& dir, long count)
{
    const QString path = dir.filePath(QStringLiteral("Inbox"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    for (long i = 0; i < count; ++i) {
        file.write(
            QStringLiteral("From - Mon Dec 07 09:15:00 2026\r\nMessage-ID: <m%1@example.org>\r\n"
                           "Date: Mon, 07 Dec 2026 09:%2:00 +0000\r\nFrom: Sender %1 <s%1@example.org>\r\n"
                           "Subject: Message number %1\r\nContent-Type: text/plain\r\n\r\n%3\r\n")
                .arg(i)
                .arg(i % 60, 2, 10, QLatin1Char('0'))
                .arg(QString(2000, u'x'))
                .toUtf8());
    }
    return path;
}

void BM_MailFolderFirstRead(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = writeMbox(dir, state.range(0));
    for (auto _ : state) {
        MailFolderIndex index;
        benchmark::DoNotOptimize(index.messages(path));
    }
}
BENCHMARK(BM_MailFolderFirstRead)
    ->ArgsProduct({bench::sizes({1000, 10000}, 10)})
    ->Unit(benchmark::kMillisecond);

// What each 3-second poll costs while Thunderbird stays in front: the folder is unchanged.
void BM_MailFolderPollAndMatch(benchmark::State& state)
{
    QTemporaryDir dir;
    const long count = state.range(0);
    const QString path = writeMbox(dir, count);
    MailFolderIndex index;
    index.messages(path);
    const long last = count - 1;
    const QString row = QStringLiteral("Sender %1 <s%1@example.org>, 09:%2, Message number %1, Read")
                            .arg(last)
                            .arg(last % 60, 2, 10, QLatin1Char('0'));
    for (auto _ : state) {
        const auto found = messageOfRow(index.messages(path), row);
        if (!found) {
            fail(state, "the row matched no message");
            break;
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_MailFolderPollAndMatch)
    ->ArgsProduct({bench::sizes({1000, 10000}, 10)})
    ->Unit(benchmark::kMillisecond);

void BM_ZathuraCapture(benchmark::State& state)
{
    const DBusSessionBus bus;
    const qint64 pid = processIdOf("MORVANE_BENCH_ZATHURA_PID");
    for (auto _ : state) {
        const auto answer = askPdfViewer(bus, PdfViewerInterface::zathura, pid);
        if (!answer || !answer->page) {
            fail(state, "zathura did not answer");
            break;
        }
    }
}

void BM_ZathuraFloor(benchmark::State& state)
{
    const qint64 pid = processIdOf("MORVANE_BENCH_ZATHURA_PID");
    const QString name = QStringLiteral("org.pwmt.zathura.PID-%1").arg(pid);
    QDBusConnection bus = QDBusConnection::sessionBus();
    const auto get = [&](const char* property) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            name, QStringLiteral("/org/pwmt/zathura"), QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        message << QStringLiteral("org.pwmt.zathura") << QString::fromLatin1(property);
        return bus.call(message);
    };
    for (auto _ : state) {
        QDBusMessage owner = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
        owner << name;
        benchmark::DoNotOptimize(bus.call(owner));
        benchmark::DoNotOptimize(get("filename"));
        benchmark::DoNotOptimize(get("pagenumber"));
    }
}

// --- The applications on the accessibility bus ----------------------------------------------------------

struct Desktop {
    std::shared_ptr<DBusSessionBus> bus = std::make_shared<DBusSessionBus>();
    std::shared_ptr<AtspiAccessibilityApi> accessibility = std::make_shared<AtspiAccessibilityApi>();
    std::shared_ptr<FileIdentityService> identity =
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    std::shared_ptr<MailFolderIndex> mail = std::make_shared<MailFolderIndex>();
    PdfViewerReader pdf{bus, accessibility, identity};
    FileManagerReader files{bus, accessibility, identity};
    ThunderbirdMessageReader thunderbird{accessibility, mail};
};

Desktop& desktop()
{
    static Desktop* shared = new Desktop; // lives to the end: its thread outlasts every benchmark
    return *shared;
}

QString titleOf(const char* variable)
{
    return qEnvironmentVariable(variable);
}

// The bare walk of the floors, in plain libatspi on the accessibility thread (libatspi is not
// thread-safe, so the floor runs where the interface runs; the hop to that thread is the one cost it
// shares with the capture): the frame of the process named so, then depth first until visit says stop.
void bareWalk(qint64 pid, const QString& title, const std::function<bool(AtspiAccessible*)>& visit)
{
    QFuture<void> done = desktop().accessibility->run([&](AccessibilityElements&) {
        AtspiAccessible* root = atspi_get_desktop(0);
        const gint count = atspi_accessible_get_child_count(root, nullptr);
        for (gint i = 0; i < count; ++i) {
            AtspiAccessible* app = atspi_accessible_get_child_at_index(root, i, nullptr);
            if (!app)
                continue;
            if (qint64(atspi_accessible_get_process_id(app, nullptr)) != pid) {
                g_object_unref(app);
                continue;
            }
            const QByteArray wanted = title.toUtf8();
            const gint frames = atspi_accessible_get_child_count(app, nullptr);
            for (gint f = 0; f < frames; ++f) {
                AtspiAccessible* frame = atspi_accessible_get_child_at_index(app, f, nullptr);
                if (!frame)
                    continue;
                gchar* name = atspi_accessible_get_name(frame, nullptr);
                const bool named = name && wanted == name;
                g_free(name);
                if (named) {
                    QList<AtspiAccessible*> stack{frame};
                    bool stop = false;
                    while (!stack.isEmpty()) {
                        AtspiAccessible* next = stack.takeLast();
                        if (!stop) {
                            stop = visit(next);
                            const gint children = stop ? 0 : atspi_accessible_get_child_count(next, nullptr);
                            for (gint c = children - 1; c >= 0; --c) {
                                if (AtspiAccessible* child =
                                        atspi_accessible_get_child_at_index(next, c, nullptr))
                                    stack.append(child);
                            }
                        }
                        g_object_unref(next);
                    }
                } else {
                    g_object_unref(frame);
                }
            }
            g_object_unref(app);
        }
        g_object_unref(root);
    });
    done.waitForFinished();
}

bool hasState(AtspiAccessible* accessible, AtspiStateType state)
{
    AtspiStateSet* set = atspi_accessible_get_state_set(accessible);
    const bool has = set && atspi_state_set_contains(set, state);
    if (set)
        g_object_unref(set);
    return has;
}

// False, and the benchmark failed, when the reader captured nothing.
bool captured(benchmark::State& state, const std::optional<CapturedContext>& context)
{
    if (!context)
        fail(state, "nothing was captured");
    return context.has_value();
}

// As captured, for a viewer whose page is read from its document view: the file alone, which its
// open files give, is no capture of the view.
bool capturedAtPage(benchmark::State& state, const std::optional<CapturedContext>& context)
{
    if (context && !context->locator.contains(QLatin1String("#page="))) {
        fail(state, "no page was read");
        return false;
    }
    return captured(state, context);
}

// The window as the window layer reports it; the id is the one the readers key what they learnt by.
DesktopWindow windowOf(const char* processVariable, const char* titleVariable)
{
    return {1, {QStringLiteral("bench"), processIdOf(processVariable)}, titleOf(titleVariable), {}, {}};
}

DesktopWindow evinceWindow()
{
    return windowOf("MORVANE_BENCH_EVINCE_PID", "MORVANE_BENCH_EVINCE_TITLE");
}

// The first capture in a window: a reader that has not seen it walks it.
void BM_EvinceFirstCapture(benchmark::State& state)
{
    const DesktopWindow window = evinceWindow();
    for (auto _ : state) {
        const PdfViewerReader reader{desktop().bus, desktop().accessibility, desktop().identity};
        if (!capturedAtPage(state, reader.read(PdfViewer::evince, window)))
            break;
    }
}

// The captures after it in the same window, as each poll makes them while Evince stays in front.
void BM_EvinceCapture(benchmark::State& state)
{
    const DesktopWindow window = evinceWindow();
    if (!capturedAtPage(state, desktop().pdf.read(PdfViewer::evince, window)))
        return;
    for (auto _ : state) {
        if (!capturedAtPage(state, desktop().pdf.read(PdfViewer::evince, window)))
            break;
    }
}

void BM_EvinceFloor(benchmark::State& state)
{
    const qint64 pid = processIdOf("MORVANE_BENCH_EVINCE_PID");
    const QString title = titleOf("MORVANE_BENCH_EVINCE_TITLE");
    for (auto _ : state) {
        int page = 0;
        bareWalk(pid, title, [&](AtspiAccessible* element) {
            if (atspi_accessible_get_role(element, nullptr) != ATSPI_ROLE_DOCUMENT_FRAME)
                return false;
            if (AtspiDocument* document = atspi_accessible_get_document_iface(element)) {
                page = atspi_document_get_current_page_number(document, nullptr);
                g_object_unref(document);
            }
            return page > 0;
        });
        benchmark::DoNotOptimize(openFilesOfProcess(pid, QStringLiteral("pdf")));
        if (page < 1) {
            fail(state, "no page");
            break;
        }
    }
}

// The bare walk of a file manager window: the location entry's text and the first selected cell.
bool fileManagerFloorOnce(qint64 pid, const QString& title)
{
    bool selected = false;
    bareWalk(pid, title, [&](AtspiAccessible* element) {
        const AtspiRole role = atspi_accessible_get_role(element, nullptr);
        if (role == ATSPI_ROLE_TEXT) {
            if (AtspiText* text = atspi_accessible_get_text_iface(element)) {
                g_free(atspi_text_get_text(text, 0, 4096, nullptr));
                g_object_unref(text);
            }
        }
        selected = role == ATSPI_ROLE_TABLE_CELL && hasState(element, ATSPI_STATE_SELECTED);
        return selected;
    });
    return selected;
}

void BM_NautilusCapture(benchmark::State& state)
{
    const FileManagerWindow window{processIdOf("MORVANE_BENCH_NAUTILUS_PID"),
                                   titleOf("MORVANE_BENCH_NAUTILUS_PATH"),
                                   titleOf("MORVANE_BENCH_NAUTILUS_TITLE")};
    for (auto _ : state) {
        if (!captured(state, desktop().files.read(FileManager::nautilus, window).context))
            break;
    }
}

void BM_NautilusFloor(benchmark::State& state)
{
    const FileManagerWindow window{processIdOf("MORVANE_BENCH_NAUTILUS_PID"),
                                   titleOf("MORVANE_BENCH_NAUTILUS_PATH"),
                                   titleOf("MORVANE_BENCH_NAUTILUS_TITLE")};
    const DBusSessionBus session;
    const SessionBus& bus = session;
    const BusObject manager{QStringLiteral("org.freedesktop.FileManager1"),
                            QStringLiteral("/org/freedesktop/FileManager1"),
                            QStringLiteral("org.freedesktop.FileManager1")};
    for (auto _ : state) {
        benchmark::DoNotOptimize(bus.property(manager, QStringLiteral("OpenWindowsWithLocations")));
        if (!fileManagerFloorOnce(window.processId, window.title)) {
            fail(state, "nothing selected");
            break;
        }
    }
}

void BM_ThunarCapture(benchmark::State& state)
{
    const FileManagerWindow window{
        processIdOf("MORVANE_BENCH_THUNAR_PID"), {}, titleOf("MORVANE_BENCH_THUNAR_TITLE")};
    for (auto _ : state) {
        if (!captured(state, desktop().files.read(FileManager::thunar, window).context))
            break;
    }
}

void BM_ThunarFloor(benchmark::State& state)
{
    const qint64 pid = processIdOf("MORVANE_BENCH_THUNAR_PID");
    const QString title = titleOf("MORVANE_BENCH_THUNAR_TITLE");
    for (auto _ : state) {
        if (!fileManagerFloorOnce(pid, title)) {
            fail(state, "nothing selected");
            break;
        }
    }
}

DesktopWindow thunderbirdWindow()
{
    return windowOf("MORVANE_BENCH_THUNDERBIRD_PID", "MORVANE_BENCH_THUNDERBIRD_TITLE");
}

void BM_ThunderbirdFirstCapture(benchmark::State& state)
{
    const DesktopWindow window = thunderbirdWindow();
    for (auto _ : state) {
        const ThunderbirdMessageReader reader{desktop().accessibility, desktop().mail};
        if (!captured(state, reader.read(window)))
            break;
    }
}

void BM_ThunderbirdCapture(benchmark::State& state)
{
    const DesktopWindow window = thunderbirdWindow();
    if (!captured(state, desktop().thunderbird.read(window)))
        return;
    for (auto _ : state) {
        if (!captured(state, desktop().thunderbird.read(window)))
            break;
    }
}

// The main thread's part of one poll with the application in front: starting the read off the main
// thread, then taking its answer once it is there. The read itself is not counted.
void pollMainThread(benchmark::State& state, const QString& identifier, DesktopWindow window,
                    DesktopApplicationContextProvider::WindowReader read,
                    bool (*check)(benchmark::State&, const std::optional<CapturedContext>&))
{
    window.application.identifier = identifier;
    auto workspace = std::make_shared<test::FakeWorkspace>(identifier);
    workspace->window = window;
    DesktopApplicationContextProvider provider(
        QStringLiteral("bench"), workspace, [identifier](const QString& id) { return id == identifier; },
        std::move(read));
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        QFuture<void> refresh = provider.refresh();
        auto mainThread = std::chrono::steady_clock::now() - started;
        refresh.waitForFinished();
        const auto answering = std::chrono::steady_clock::now();
        const std::optional<CapturedContext> context = provider.captureContext();
        mainThread += std::chrono::steady_clock::now() - answering;
        state.SetIterationTime(std::chrono::duration<double>(mainThread).count());
        if (!check(state, context))
            break;
    }
}

void BM_EvincePollMainThread(benchmark::State& state)
{
    pollMainThread(
        state, QStringLiteral("evince"), evinceWindow(),
        [](const DesktopWindow& window) { return desktop().pdf.read(PdfViewer::evince, window); },
        capturedAtPage);
}

void BM_ThunderbirdPollMainThread(benchmark::State& state)
{
    pollMainThread(
        state, QStringLiteral("thunderbird"), thunderbirdWindow(),
        [](const DesktopWindow& window) { return desktop().thunderbird.read(window); }, captured);
}

void BM_ThunderbirdFloor(benchmark::State& state)
{
    const qint64 pid = processIdOf("MORVANE_BENCH_THUNDERBIRD_PID");
    const QString title = titleOf("MORVANE_BENCH_THUNDERBIRD_TITLE");
    for (auto _ : state) {
        bool row = false;
        bool pane = false;
        bareWalk(pid, title, [&](AtspiAccessible* element) {
            const AtspiRole role = atspi_accessible_get_role(element, nullptr);
            if (role == ATSPI_ROLE_LIST_ITEM && hasState(element, ATSPI_STATE_SELECTED)) {
                g_free(atspi_accessible_get_name(element, nullptr));
                row = true;
            } else if (role == ATSPI_ROLE_DOCUMENT_WEB) {
                if (AtspiDocument* document = atspi_accessible_get_document_iface(element)) {
                    g_free(atspi_document_get_document_attribute_value(document, const_cast<gchar*>("DocURL"),
                                                                       nullptr));
                    g_object_unref(document);
                    pane = true;
                }
            }
            return row && pane;
        });
        if (!row || !pane) {
            fail(state, "no selected message");
            break;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Each application's benchmarks, when the script started it: a capture (the first in a window
    // beside its floor, then the later ones, where the reader remembers the window). The main thread's
    // part of a poll is timed around the read, which runs on a worker: a fixed number of polls, since
    // the time counted is a small part of the time each takes.
    struct Registered {
        const char* variable;
        const char* name;
        void (*function)(benchmark::State&);
        bool mainThreadPart = false;
    };
    const Registered benchmarks[] = {
        {"MORVANE_BENCH_ZATHURA_PID", "BM_ZathuraCapture", BM_ZathuraCapture},
        {"MORVANE_BENCH_ZATHURA_PID", "BM_ZathuraFloor", BM_ZathuraFloor},
        {"MORVANE_BENCH_EVINCE_PID", "BM_EvinceFirstCapture", BM_EvinceFirstCapture},
        {"MORVANE_BENCH_EVINCE_PID", "BM_EvinceFloor", BM_EvinceFloor},
        {"MORVANE_BENCH_EVINCE_PID", "BM_EvinceCapture", BM_EvinceCapture},
        {"MORVANE_BENCH_NAUTILUS_PID", "BM_NautilusCapture", BM_NautilusCapture},
        {"MORVANE_BENCH_NAUTILUS_PID", "BM_NautilusFloor", BM_NautilusFloor},
        {"MORVANE_BENCH_THUNAR_PID", "BM_ThunarCapture", BM_ThunarCapture},
        {"MORVANE_BENCH_THUNAR_PID", "BM_ThunarFloor", BM_ThunarFloor},
        {"MORVANE_BENCH_THUNDERBIRD_PID", "BM_ThunderbirdFirstCapture", BM_ThunderbirdFirstCapture},
        {"MORVANE_BENCH_THUNDERBIRD_PID", "BM_ThunderbirdFloor", BM_ThunderbirdFloor},
        {"MORVANE_BENCH_THUNDERBIRD_PID", "BM_ThunderbirdCapture", BM_ThunderbirdCapture},
        {"MORVANE_BENCH_EVINCE_PID", "BM_EvincePollMainThread", BM_EvincePollMainThread, true},
        {"MORVANE_BENCH_THUNDERBIRD_PID", "BM_ThunderbirdPollMainThread", BM_ThunderbirdPollMainThread, true},
    };
    for (const Registered& each : benchmarks) {
        if (processIdOf(each.variable) <= 0)
            continue;
        auto* registered =
            benchmark::RegisterBenchmark(each.name, each.function)->Unit(benchmark::kMillisecond);
        if (each.mainThreadPart)
            registered->UseManualTime()->Iterations(200);
    }
    // GLib's default main context belongs to the accessibility thread, as in the application: run by
    // this event loop, it would take the applications' answers from under the thread waiting for them,
    // and every read would time out empty.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication application(argc, argv);
    qunsetenv("QT_NO_GLIB");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::thread runner([&application] {
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    application.exec();
    runner.join();
    if (failures > 0) {
        std::fprintf(stderr, "%d benchmark(s) failed: their reader found nothing\n", int(failures));
        return 1;
    }
    return 0;
}
