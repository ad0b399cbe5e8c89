#include "ProcessLauncher.h"

#include "foundation/Logging.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QPromise>

#include <algorithm>
#include <limits>
#include <memory>

#include <signal.h>
#include <unistd.h>

namespace morvane {

MORVANE_LOGGING_CATEGORY(lcProcessLauncher, "ProcessLauncher")

namespace {

// Started with nothing to read on stdin: a helper that waits for input (or a terminal) gets end of
// file at once instead of holding its caller until the time-out.
void prepare(QProcess& process, const QString& program, const QStringList& arguments)
{
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
}

int msecsLeft(const QDeadlineTimer& deadline)
{
    return int(std::min<qint64>(deadline.remainingTime(), std::numeric_limits<int>::max()));
}

ProcessResult runToEnd(const QString& program, const QStringList& arguments,
                       std::chrono::milliseconds timeout)
{
    ProcessResult result;
    QProcess process;
    prepare(process, program, arguments);
    // Its own process group, so that a time-out can end the helpers a script started as well; they
    // would otherwise live on and keep the output pipes open.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    const QDeadlineTimer deadline(timeout);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(msecsLeft(deadline))) {
        if (process.error() != QProcess::FailedToStart) {
            // Started too slowly to be of use: not left running behind the caller's back.
            process.kill();
            process.waitForFinished(-1);
            result.outcome = ProcessResult::Outcome::timedOut;
        }
        qCDebug(lcProcessLauncher).noquote() << "Could not start" << program << ':' << process.errorString();
        return result;
    }
    if (!process.waitForFinished(msecsLeft(deadline)) && process.state() != QProcess::NotRunning) {
        if (::kill(-pid_t(process.processId()), SIGKILL) != 0)
            process.kill();
        process.waitForFinished(-1);
        result.outcome = ProcessResult::Outcome::timedOut;
    } else if (process.exitStatus() == QProcess::CrashExit) {
        result.outcome = ProcessResult::Outcome::crashed;
    } else {
        result.outcome = ProcessResult::Outcome::finished;
        result.exitCode = process.exitCode();
    }
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

} // namespace

LinuxProcessLauncher::LinuxProcessLauncher()
{
    m_pool.setObjectName(QStringLiteral("morvane-processes"));
    m_pool.setMaxThreadCount(4);
}

LinuxProcessLauncher::~LinuxProcessLauncher()
{
    m_pool.waitForDone();
}

bool LinuxProcessLauncher::startDetached(const QString& program, const QStringList& arguments)
{
    QProcess process;
    prepare(process, program, arguments);
    // Nobody reads what it prints, and a handler that stays in the foreground must not find our
    // terminal or pipes to hold on to.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (process.startDetached())
        return true;
    qCDebug(lcProcessLauncher).noquote() << "Could not start" << program << ':' << process.errorString();
    return false;
}

QFuture<ProcessResult> LinuxProcessLauncher::run(const QString& program, const QStringList& arguments,
                                                 std::chrono::milliseconds timeout)
{
    auto promise = std::make_shared<QPromise<ProcessResult>>();
    QFuture<ProcessResult> future = promise->future();
    promise->start();
    m_pool.start([promise, program, arguments, timeout] {
        try {
            promise->addResult(runToEnd(program, arguments, timeout));
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    });
    return future;
}

} // namespace morvane
