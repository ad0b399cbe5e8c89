#include "TestEnvironment.h"
#include "platform/ProcessLauncher.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;
using namespace std::chrono_literals;
using Outcome = ProcessResult::Outcome;

namespace {

// Whether the process is gone; a zombie nobody reaps counts as gone.
bool processEnded(const QByteArray& pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid.trimmed())));
    return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
}

} // namespace

TEST(LinuxProcessLauncher, RunsReportHowTheProgramEndedWithWhatItPrinted)
{
    struct Case {
        const char* what;
        QString program;
        QStringList arguments;
        ProcessResult expected;
    };
    const QList<Case> cases = {
        {"output and exit code",
         "sh",
         {"-c", "printf out; printf err >&2; exit 3"},
         {Outcome::finished, 3, "out", "err"}},
        {"success", "true", {}, {Outcome::finished, 0, {}, {}}},
        {"stdin at end of file", "cat", {}, {Outcome::finished, 0, {}, {}}},
        {"missing program", testHome() + "/no-such-helper", {}, {Outcome::failedToStart, -1, {}, {}}},
        {"killed by a signal", "sh", {"-c", "kill -9 $$"}, {Outcome::crashed, -1, {}, {}}},
    };
    LinuxProcessLauncher launcher;
    for (const Case& c : cases)
        EXPECT_EQ(launcher.run(c.program, c.arguments, 30s).result(), c.expected) << c.what;
}

TEST(LinuxProcessLauncher, ATimeOutEndsTheProgramAndWhatItStarted)
{
    LinuxProcessLauncher launcher;
    const ProcessResult result = launcher.run("sh", {"-c", "sleep 60 & echo $!; wait"}, 300ms).result();
    EXPECT_EQ(result.outcome, Outcome::timedOut);
    ASSERT_FALSE(result.standardOutput.trimmed().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return processEnded(result.standardOutput); }, 10000));
}

TEST(LinuxProcessLauncher, DetachedStartsReportOnlyWhetherTheProgramStarted)
{
    LinuxProcessLauncher launcher;
    const QString marker = testHome() + "/started";
    EXPECT_TRUE(launcher.startDetached("sh", {"-c", "echo yes > \"$0\"", marker}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(marker); }, 10000));
    EXPECT_FALSE(launcher.startDetached(testHome() + "/no-such-helper", {}));
}
