#pragma once

#include "platform/AlertPresenter.h"

#include <QList>

namespace morvane::test {

// Answers alerts with the button indexes queued in answers (the first button once they run out)
// and keeps every alert it was shown.
class ScriptedAlertPresenter final : public AlertPresenter {
public:
    int present(const Alert& alert) override
    {
        shown.append(alert);
        return answers.isEmpty() ? 0 : answers.takeFirst();
    }

    QList<int> answers;
    QList<Alert> shown;
};

} // namespace morvane::test
