#pragma once

#include <QString>

namespace morvane {

// The system clipboard. A text that is one local file URL is offered as that file too.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Clears every format on the clipboard, then puts the text there as plain text (and a local file
    // URL as the file as well).
    virtual void setText(const QString& text) = 0;
};

} // namespace morvane
