#pragma once

#include "platform/AccessibilityApi.h"

namespace morvane {

// The accessibility bus's own switch, org.a11y.Status.IsEnabled on org.a11y.Bus, over the session bus.
// Each call blocks for up to timeoutMs: the bus launcher may be started by it, which takes longer than
// a read.
class AccessibilityBusSwitch {
public:
    // No such service (or no session bus) is "not available", false is "not granted" (applications do
    // not publish their windows then), true is "granted".
    static AccessibilityTrust trust(int timeoutMs);
    // Sets the switch; a failure is logged.
    static void turnOn(int timeoutMs);
};

} // namespace morvane
