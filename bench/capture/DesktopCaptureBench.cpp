// One capture from each desktop application as the poll makes it, beside its floor: the same
// questions asked in the barest way (raw Qt DBus calls; a direct read of the folder file). The
// applications' benchmarks need them running: bench/capture/desktop_capture_bench.sh starts them on
// their own X server and buses and passes their process ids; without those only the mail folder
// benchmarks run.

#include "BenchMain.h"
#include "BenchSupport.h"
#include "capture/MailFolderIndex.h"
#include "capture/MailMessageMatch.h"
#include "platform/PdfViewerBus.h"
#include "platform/SessionBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace morvane;

namespace {

qint64 processIdOf(const char* variable)
{
    return qEnvironmentVariableIntValue(variable);
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
        if (!found)
            state.SkipWithError("the row matched no message");
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
        if (!answer || !answer->page)
            state.SkipWithError("zathura did not answer");
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

} // namespace

int main(int argc, char** argv)
{
    if (processIdOf("MORVANE_BENCH_ZATHURA_PID") > 0) {
        benchmark::RegisterBenchmark("BM_ZathuraCapture", BM_ZathuraCapture)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("BM_ZathuraFloor", BM_ZathuraFloor)->Unit(benchmark::kMillisecond);
    }
    return bench::runWithApplication(argc, argv);
}
