#pragma once

#include <QString>

#include <optional>

class QLoggingCategory;

namespace morvane {

class ScriptRunner;

// The words a script answers with, instead of a payload, to say why nothing was captured.
enum class ScriptStatusWord {
    notRunning, // "not_running": the application is not running
    empty,      // "empty": nothing is selected
    denied,     // "denied": the user has not let this application control the other one
    error,      // "error": any other error the script caught
};

// The status word the answer is, after trimming (exact and case-sensitive); nothing for a payload.
std::optional<ScriptStatusWord> scriptStatusWord(const QString& answer);

// A script that answers with a status word when it captures nothing: it tells application (as a
// script names it: `"Name"` or `id "identifier"`) to run body in a try block, answers "not_running"
// when the application is not running, and answers "denied" for a caught error that says the user
// has not let this application control that one, "error" for any other. body is whole lines,
// indented eight spaces, and answers "empty" or a payload itself.
QString statusWordScript(const QString& application, const QString& body);

// The payload separator as a script string literal, to join the fields of an answer in a script.
QString scriptPayloadSeparator();

// Runs a provider's script and gives the string value of its result. A script that cannot be made
// gives nothing silently; an error is logged as failureMessage with "%1" standing for the error's
// description (private); a result without a string value gives nothing.
std::optional<QString> runProviderScript(ScriptRunner& runner, const QString& source,
                                         const QLoggingCategory& log, const QString& failureMessage);

// Whether an application reached only by script (one with no version for this desktop) can be asked
// here; when not, says so at debug level, once per call, in the provider's category. Providers ask it
// once, when they are built, and answer nothing at once without it.
bool scriptedApplicationReachable(const ScriptRunner& runner, const QLoggingCategory& log,
                                  const QString& application);

} // namespace morvane
