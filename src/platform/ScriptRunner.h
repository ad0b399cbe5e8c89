#pragma once

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace morvane {

// What running one script gave.
struct ScriptOutcome {
    enum class Status {
        answered,    // the script ran; text holds its result's string value, if it had one
        failed,      // the script ran into an error; errorDescription says which
        cannotBeMade // no script could be made from the text, or no script can run here at all
    };

    Status status = Status::cannotBeMade;
    std::optional<QString> text;
    QString errorDescription;

    static ScriptOutcome answer(QString text) { return {Status::answered, std::move(text), {}}; }
    static ScriptOutcome answerWithoutText() { return {Status::answered, std::nullopt, {}}; }
    static ScriptOutcome failure(QString description)
    {
        return {Status::failed, std::nullopt, std::move(description)};
    }
    static ScriptOutcome notMade() { return {}; }
};

// Sends a script to another application and waits for its answer, on the main thread. Without a
// time-out it waits as long as the other application takes.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    virtual ScriptOutcome run(const QString& source, std::optional<std::chrono::milliseconds> timeout) = 0;
    // False where no script can run at all: the applications reached only by script have no version
    // there, and their providers ask nothing.
    virtual bool canRunScripts() const { return true; }
};

// This system has no way to script other applications: every script "cannot be made", at once,
// which the providers take as nothing to capture. Said once in the log.
class UnavailableScriptRunner final : public ScriptRunner {
public:
    ScriptOutcome run(const QString& source, std::optional<std::chrono::milliseconds> timeout) override;
    bool canRunScripts() const override { return false; }
};

} // namespace morvane
