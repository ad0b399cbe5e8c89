#pragma once

#include "model/LinkItem.h"
#include "services/PreferenceValues.h"

#include <memory>

namespace morvane {

class Clipboard;

// Copies one saved link to the clipboard as plain text in one of the copy formats.
class PasteboardService {
public:
    explicit PasteboardService(std::shared_ptr<Clipboard> clipboard);

    void copy(const LinkItem& item, CopyFormat format);
    // The text copy() writes.
    static QString text(const LinkItem& item, CopyFormat format);

private:
    std::shared_ptr<Clipboard> m_clipboard;
};

} // namespace morvane
