#pragma once

#include "desktop/TrayHost.h"

namespace morvane::test {

// A tray host the test brings and takes away; present from the start unless told otherwise.
class FakeTrayHost : public TrayHost {
public:
    bool isPresent() const override { return present; }
    void arrive()
    {
        present = true;
        emit arrived();
    }

    bool present = true;
};

} // namespace morvane::test
