#pragma once

#include "files/FileMatchCandidate.h"
#include "model/CapturedContext.h"
#include "model/LinkItem.h"
#include "model/LinkType.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace morvane {

// One row of the quick panel: a saved link, an item that can be saved with Enter (what the
// application in front shows, or an event or card the search found), or a saved file link that may
// be the file selected on this machine. A row holds a copy of its payload; everything it shows is
// derived from that copy.
class PanelResult {
public:
    enum class Kind { link, capture, fileMatch };

    static PanelResult link(LinkItem item) { return PanelResult(std::move(item)); }
    static PanelResult capture(CapturedContext context) { return PanelResult(std::move(context)); }
    static PanelResult fileMatch(FileMatchCandidate candidate) { return PanelResult(std::move(candidate)); }
    // One link row for each item, in order.
    static QList<PanelResult> links(const QList<LinkItem>& items);

    Kind kind() const { return Kind(m_payload.index()); }
    // The payload of the row's own kind, else null.
    const LinkItem* item() const { return std::get_if<LinkItem>(&m_payload); }
    const CapturedContext* context() const { return std::get_if<CapturedContext>(&m_payload); }
    const FileMatchCandidate* candidate() const { return std::get_if<FileMatchCandidate>(&m_payload); }

    // Stable across edits of a link; a capture row's follows its locator, not its title.
    QString id() const;
    QString title() const;
    QString subtitle() const;
    LinkType type() const;
    QStringList tags() const;
    int linkedItemCount() const;
    // The saved link behind the row: a file-match row counts as its link, a capture row has none.
    std::optional<LinkItem> linkItem() const;

    // Why a saved file may be the selected one, as the row says it.
    static QString reasonLabel(FileMatchCandidate::Confidence confidence);

    bool operator==(const PanelResult&) const = default;

private:
    explicit PanelResult(std::variant<LinkItem, CapturedContext, FileMatchCandidate> payload)
        : m_payload(std::move(payload))
    {
    }
    const LinkItem* saved() const;

    std::variant<LinkItem, CapturedContext, FileMatchCandidate> m_payload;
};

// A relation removal waiting for the user's confirmation.
struct PendingRelationDelete {
    LinkItem source;
    LinkItem target;
    bool operator==(const PendingRelationDelete&) const = default;
};

} // namespace morvane
