#include "LaunchAtLogin.h"

#include "platform/LoginItem.h"

namespace morvane {

void setLaunchAtLoginEnabled(LoginItem& loginItem, bool enabled)
{
    const LoginItemStatus status = loginItem.status();
    if (enabled) {
        if (status != LoginItemStatus::enabled)
            loginItem.registerItem();
        return;
    }
    if (status == LoginItemStatus::enabled || status == LoginItemStatus::requiresApproval)
        loginItem.unregisterItem();
}

} // namespace morvane
