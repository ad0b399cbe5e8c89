#pragma once

#include "model/LinkItem.h"

#include <optional>

namespace morvane {

// What the quick panel is doing. Two modes carry the link they are about; two modes are equal when
// they are the same kind and carry equal links.
class QuickPanelMode {
public:
    enum class Kind { chooseRelationSource, backlinks, search, add };

    QuickPanelMode() = default;

    static QuickPanelMode search() { return QuickPanelMode(Kind::search, std::nullopt); }
    static QuickPanelMode add() { return QuickPanelMode(Kind::add, std::nullopt); }
    // The next link chosen in the list is related to this one.
    static QuickPanelMode chooseRelationSource(LinkItem source)
    {
        return QuickPanelMode(Kind::chooseRelationSource, std::move(source));
    }
    // The list shows the links related to this one.
    static QuickPanelMode backlinks(LinkItem base)
    {
        return QuickPanelMode(Kind::backlinks, std::move(base));
    }

    Kind kind() const { return m_kind; }
    bool is(Kind kind) const { return m_kind == kind; }
    // The link of a relation or backlinks mode; null in search and add mode.
    const LinkItem* link() const { return m_link ? &*m_link : nullptr; }

    bool operator==(const QuickPanelMode&) const = default;

private:
    QuickPanelMode(Kind kind, std::optional<LinkItem> link)
        : m_kind(kind)
        , m_link(std::move(link))
    {
    }

    Kind m_kind = Kind::search;
    std::optional<LinkItem> m_link;
};

} // namespace morvane
