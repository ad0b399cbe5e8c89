#pragma once

#include "platform/AlertPresenter.h"

#include <QList>

namespace morvane::test {

// Answers alerts with the button indexes queued in answers, or with what Return chooses for a
// returnKey answer and once they run out, and keeps every alert it was shown.
class ScriptedAlertPresenter final : public AlertPresenter {
public:
    static constexpr int returnKey = -100;

    int present(const Alert& alert) override
    {
        shown.append(alert);
        const int answer = answers.isEmpty() ? returnKey : answers.takeFirst();
        return answer == returnKey ? alert.defaultButton() : answer;
    }

    QList<int> answers;
    QList<Alert> shown;
};

} // namespace morvane::test
