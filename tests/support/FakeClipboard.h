#pragma once

#include "platform/Clipboard.h"

#include <QStringList>

namespace morvane::test {

// Keeps every text written, in order.
class FakeClipboard : public Clipboard {
public:
    void setText(const QString& text) override { written.append(text); }
    QStringList written;
};

} // namespace morvane::test
