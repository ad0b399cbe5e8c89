#pragma once

#include "platform/ScriptRunner.h"

#include <QList>
#include <QStringList>

#include <utility>

namespace morvane::test {

// Answers scripts from canned outcomes and keeps every script text it was given. The first rule
// whose fragment the script contains decides; a script no rule matches fails.
class ScriptedRunner final : public ScriptRunner {
public:
    ScriptedRunner& answer(QString fragment, ScriptOutcome outcome)
    {
        m_rules.append({std::move(fragment), std::move(outcome)});
        return *this;
    }
    ScriptedRunner& answer(QString fragment, QString text)
    {
        return answer(std::move(fragment), ScriptOutcome::answer(std::move(text)));
    }

    ScriptOutcome run(const QString& source, std::optional<std::chrono::milliseconds>) override
    {
        scripts.append(source);
        for (const auto& [fragment, outcome] : m_rules) {
            if (source.contains(fragment))
                return outcome;
        }
        return ScriptOutcome::failure(QStringLiteral("no answer was scripted"));
    }

    // False: a desktop where no script runs at all.
    bool canRunScripts() const override { return canRun; }

    QStringList scripts;
    bool canRun = true;

private:
    QList<std::pair<QString, ScriptOutcome>> m_rules;
};

} // namespace morvane::test
