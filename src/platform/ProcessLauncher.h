#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QStringList>

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

} // namespace morvane
