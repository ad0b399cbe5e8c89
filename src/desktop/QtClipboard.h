#pragma once

#include "platform/Clipboard.h"

namespace morvane {

// The Clipboard selection (not the X11 primary selection) through QClipboard. Main thread only.
class QtClipboard final : public Clipboard {
public:
    void setText(const QString& text) override;
};

} // namespace morvane
