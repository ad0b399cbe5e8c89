#pragma once

#include "platform/LoginItem.h"

namespace morvane::test {

// A login item whose status the test sets; registering and removing count and follow it.
class FakeLoginItem : public LoginItem {
public:
    LoginItemStatus status() const override { return currentStatus; }
    void registerItem() override { change(registerCalls, LoginItemStatus::enabled); }
    void unregisterItem() override { change(unregisterCalls, LoginItemStatus::notRegistered); }

    LoginItemStatus currentStatus = LoginItemStatus::notRegistered;
    int registerCalls = 0;
    int unregisterCalls = 0;

private:
    void change(int& calls, LoginItemStatus next)
    {
        ++calls;
        currentStatus = next;
    }
};

} // namespace morvane::test
