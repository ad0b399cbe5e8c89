#pragma once

#include <QString>

namespace morvane {

// The system clipboard, as plain text only.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Clears every format on the clipboard, then puts the text there as plain text.
    virtual void setText(const QString& text) = 0;
};

} // namespace morvane
