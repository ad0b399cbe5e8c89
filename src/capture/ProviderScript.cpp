#include "ProviderScript.h"

#include "capture/CaptureText.h"
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

QString statusWordScript(const QString& application, const QString& body)
{
    return QStringLiteral("tell application ") + application +
           QStringLiteral("\n"
                          "    if not running then return \"not_running\"\n"
                          "    try\n") +
           body +
           QStringLiteral("    on error errMsg number errNum\n"
                          "        if errNum is -1743 then return \"denied\"\n"
                          "        return \"error\"\n"
                          "    end try\n"
                          "end tell");
}

QString scriptPayloadSeparator()
{
    return QString(u'"') + payloadSeparator + u'"';
}

bool scriptedApplicationReachable(const ScriptRunner& runner, const QLoggingCategory& log,
                                  const QString& application)
{
    if (runner.canRunScripts())
        return true;
    qCDebug(log).noquote() << application << "has no version for this desktop: nothing is captured from it";
    return false;
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
