#pragma once

#include "store/ItemOpener.h"

#include <QList>

namespace morvane::test {

// Opens nothing: keeps what it was asked to open and answers the evidence the test chose.
class RecordingOpener final : public ItemOpener {
public:
    QCoro::Task<std::optional<FileIdentity>> open(LinkItem item, std::optional<FileIdentity>) override
    {
        opened.append(std::move(item));
        // A copy: QCoro moves from a non-const lvalue given to co_return.
        co_return std::optional<FileIdentity>(found);
    }

    QList<LinkItem> opened;
    std::optional<FileIdentity> found;
};

} // namespace morvane::test
