#pragma once

#include "desktop/AppPresence.h"

#include <QWidget>

namespace morvane::test {

// A presence that records changes and activations; refuseChanges makes setHidden fail.
class FakeAppPresence : public AppPresence {
public:
    bool isHidden() const override { return hidden; }
    bool setHidden(bool wanted) override
    {
        ++setCalls;
        if (!refuseChanges)
            hidden = wanted;
        return !refuseChanges;
    }
    void activate() override { ++activations; }
    void activateWindow(QWidget& window) override
    {
        ++activations;
        window.show();
    }

    bool hidden = false;
    bool refuseChanges = false;
    int setCalls = 0;
    int activations = 0;
};

} // namespace morvane::test
