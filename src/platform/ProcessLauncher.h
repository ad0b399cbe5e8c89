#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <chrono>

namespace morvane {

// What a program run to completion answered.
struct ProcessResult {
    enum class Outcome { finished, failedToStart, timedOut, crashed };
    Outcome outcome = Outcome::failedToStart;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;

    bool succeeded() const { return outcome == Outcome::finished && exitCode == 0; }
    bool operator==(const ProcessResult&) const = default;
};

// Starts the desktop's helper programs (xdg-open, xdg-mime, PDF viewers). Never blocks the caller:
// a detached start returns at once, a run completes its future on a worker thread.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // Starts the program and forgets it (it outlives us). False when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // Runs the program to its end, or kills it after the time-out, and reads what it printed.
    virtual QFuture<ProcessResult> run(const QString& program, const QStringList& arguments,
                                       std::chrono::milliseconds timeout) = 0;
};

// Starts programs with QProcess. A run reads the program's output on a thread of the launcher's own
// pool, so a slow helper never holds up work queued on the shared pool; each program runs in a
// process group of its own so that a time-out also ends what it started.
class LinuxProcessLauncher final : public ProcessLauncher {
public:
    LinuxProcessLauncher();
    // Waits for the runs in flight; each ends by its time-out at the latest.
    ~LinuxProcessLauncher() override;

    bool startDetached(const QString& program, const QStringList& arguments) override;
    QFuture<ProcessResult> run(const QString& program, const QStringList& arguments,
                               std::chrono::milliseconds timeout) override;

private:
    QThreadPool m_pool;
};

} // namespace morvane
