#pragma once

#include "platform/AlertPresenter.h"

#include <QList>

namespace morvane::test {

// Answers alerts with the button indexes queued in answers, or with what the returnKey and escapeKey
// answers choose (Return once they run out), and keeps every alert it was shown.
class ScriptedAlertPresenter final : public AlertPresenter {
public:
    static constexpr int returnKey = -100;
    static constexpr int escapeKey = -101;

    int present(const Alert& alert) override
    {
        shown.append(alert);
        const int answer = answers.isEmpty() ? returnKey : answers.takeFirst();
        if (answer == returnKey)
            return alert.defaultButton();
        return answer == escapeKey ? alert.escapeButton() : answer;
    }

    QList<int> answers;
    QList<Alert> shown;
};

} // namespace morvane::test
