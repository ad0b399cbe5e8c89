#pragma once

#include "platform/AlertPresenter.h"

namespace morvane {

// Shows each alert as an application-modal message box titled with the application's name, its
// texts as plain text. Return chooses the first button; Escape chooses a button titled "Cancel".
class MessageBoxAlertPresenter final : public AlertPresenter {
public:
    int present(const Alert& alert) override;
};

} // namespace morvane
