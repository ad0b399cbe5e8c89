#include "services/PasteboardService.h"

#include "foundation/Uuid.h"
#include "platform/Clipboard.h"

namespace morvane {

namespace {

QString appLink(const LinkItem& item)
{
    return QStringLiteral("morvane://open/") + uuidString(item.id);
}

// The Markdown link text ("]" escaped, a PDF page appended) that the item's own Markdown link uses.
QString linkText(const LinkItem& item)
{
    const QString link = item.markdownLink();
    const qsizetype targetLength = appLink(item).size() + 3; // "](" and ")"
    return link.mid(1, link.size() - 1 - targetLength);
}

} // namespace

PasteboardService::PasteboardService(std::shared_ptr<Clipboard> clipboard)
    : m_clipboard(std::move(clipboard))
{
}

void PasteboardService::copy(const LinkItem& item, CopyFormat format)
{
    m_clipboard->setText(text(item, format));
}

QString PasteboardService::text(const LinkItem& item, CopyFormat format)
{
    switch (format) {
    case CopyFormat::url:
        break;
    case CopyFormat::markdown:
        return u'[' + linkText(item) + QStringLiteral("](") + item.url + u')';
    case CopyFormat::morvane:
        return appLink(item);
    case CopyFormat::morvaneMarkdown:
        return item.markdownLink();
    }
    return item.url;
}

} // namespace morvane
