#include "ProviderScript.h"

#include "foundation/Logging.h"
#include "foundation/Text.h"
#include "platform/ScriptRunner.h"

#include <QLoggingCategory>

#include <array>
#include <utility>

namespace morvane {

std::optional<ScriptStatusWord> scriptStatusWord(const QString& answer)
{
    static const std::array<std::pair<QString, ScriptStatusWord>, 4> words{{
        {QStringLiteral("not_running"), ScriptStatusWord::notRunning},
        {QStringLiteral("empty"), ScriptStatusWord::empty},
        {QStringLiteral("denied"), ScriptStatusWord::denied},
        {QStringLiteral("error"), ScriptStatusWord::error},
    }};
    const QString trimmed = trimmedText(answer);
    for (const auto& [text, word] : words) {
        if (trimmed == text)
            return word;
    }
    return std::nullopt;
}

std::optional<QString> runProviderScript(ScriptRunner& runner, const QString& source,
                                         const QLoggingCategory& log, const QString& failureMessage)
{
    ScriptOutcome outcome = runner.run(source, std::nullopt);
    switch (outcome.status) {
    case ScriptOutcome::Status::answered:
        return std::move(outcome.text);
    case ScriptOutcome::Status::failed:
        qCInfo(log).noquote() << failureMessage.arg(privateValue(outcome.errorDescription));
        return std::nullopt;
    case ScriptOutcome::Status::cannotBeMade:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace morvane
