#pragma once

#include "platform/ProcessLauncher.h"

#include <QHash>
#include <QList>
#include <QPromise>

#include <functional>
#include <mutex>
#include <optional>

namespace morvane::test {

// Starts nothing: answers each program by the rule the test gave it and records every call. A
// program without a rule is missing: it fails to start, detached or not.
class FakeProcessLauncher final : public ProcessLauncher {
public:
    struct Call {
        QString program;
        QStringList arguments;
        std::optional<std::chrono::milliseconds> timeout; // nothing for a detached start
        bool operator==(const Call&) const = default;
    };
    using Rule = std::function<ProcessResult(const QStringList& arguments)>;

    void answer(const QString& program, const Rule& rule)
    {
        std::lock_guard lock(m_mutex);
        m_rules.insert(program, rule);
    }
    // Every run of the program finishes with this exit code and output.
    void answer(const QString& program, int exitCode, const QByteArray& standardOutput = {})
    {
        answer(program, [=](const QStringList&) {
            return ProcessResult{ProcessResult::Outcome::finished, exitCode, standardOutput, {}};
        });
    }

    // Started unless the program's rule answers failedToStart.
    bool startDetached(const QString& program, const QStringList& arguments) override
    {
        return answerFor(Call{program, arguments, std::nullopt}).outcome !=
               ProcessResult::Outcome::failedToStart;
    }
    // An already finished future.
    QFuture<ProcessResult> run(const QString& program, const QStringList& arguments,
                               std::chrono::milliseconds timeout) override
    {
        QPromise<ProcessResult> promise;
        promise.start();
        promise.addResult(answerFor(Call{program, arguments, timeout}));
        promise.finish();
        return promise.future();
    }

    QList<Call> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    ProcessResult answerFor(const Call& call)
    {
        Rule rule;
        {
            std::lock_guard lock(m_mutex);
            m_calls.append(call);
            rule = m_rules.value(call.program);
        }
        // Outside the lock: a rule may call the launcher again.
        return rule ? rule(call.arguments) : ProcessResult{};
    }

    mutable std::mutex m_mutex;
    QHash<QString, Rule> m_rules;
    QList<Call> m_calls;
};

} // namespace morvane::test
