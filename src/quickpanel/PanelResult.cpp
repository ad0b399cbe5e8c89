#include "PanelResult.h"

#include "capture/CalendarEventReference.h"
#include "capture/ContactLink.h"
#include "foundation/LocatorUrl.h"
#include "foundation/Uuid.h"

namespace morvane {

namespace {

const QString addPrefix = QStringLiteral("Press Enter to add: ");

// True when the locator's query names an organization item at all, even a blank one.
bool namesOrganization(const QString& locator)
{
    const std::optional<LocatorUrl> url = LocatorUrl::parse(locator);
    if (!url)
        return false;
    for (const QueryItem& item : url->queryItems()) {
        if (item.name == QLatin1String("organization"))
            return true;
    }
    return false;
}

// The line under an event or contact locator; nothing for any other text.
std::optional<QString> calendarOrContactSubtitle(const QString& text)
{
    if (const auto event = CalendarEventReference::fromLocator(text))
        return event->subtitle();
    if (const auto contact = parseContactLocator(text)) {
        if (contact->organization)
            return *contact->organization;
        // A card saved with a blank organization shows its locator like any other link.
        if (!namesOrganization(text))
            return QStringLiteral("Contacts card");
    }
    return std::nullopt;
}

} // namespace

QList<PanelResult> PanelResult::links(const QList<LinkItem>& items)
{
    QList<PanelResult> rows;
    rows.reserve(items.size());
    for (const LinkItem& item : items)
        rows.append(link(item));
    return rows;
}

QString PanelResult::id() const
{
    switch (kind()) {
    case Kind::link:
        return QStringLiteral("link-") + uuidString(item()->id);
    case Kind::capture:
        return QStringLiteral("capture-") + context()->locator;
    case Kind::fileMatch:
        break;
    }
    return QStringLiteral("file-match-") + candidate()->id();
}

QString PanelResult::title() const
{
    switch (kind()) {
    case Kind::link:
        return item()->title;
    case Kind::capture:
        return addPrefix + context()->title;
    case Kind::fileMatch:
        break;
    }
    return addPrefix + candidate()->item.title;
}

QString PanelResult::subtitle() const
{
    switch (kind()) {
    case Kind::link:
        return calendarOrContactSubtitle(item()->url).value_or(item()->displayPath());
    case Kind::capture:
        return calendarOrContactSubtitle(context()->locator).value_or(context()->locator);
    case Kind::fileMatch:
        break;
    }
    const std::optional<LocatorUrl> url = LocatorUrl::parse(candidate()->selectedURL);
    return reasonLabel(candidate()->confidence) + QStringLiteral(": ") +
           (url ? url->path() : candidate()->selectedURL);
}

LinkType PanelResult::type() const
{
    if (const CapturedContext* captured = context())
        return captured->type;
    return saved()->type;
}

QStringList PanelResult::tags() const
{
    const LinkItem* link = saved();
    return link ? link->tags : QStringList{};
}

int PanelResult::linkedItemCount() const
{
    const LinkItem* link = saved();
    return link ? link->linkedItemCount : 0;
}

std::optional<LinkItem> PanelResult::linkItem() const
{
    const LinkItem* link = saved();
    return link ? std::optional(*link) : std::nullopt;
}

const LinkItem* PanelResult::saved() const
{
    if (const FileMatchCandidate* match = candidate())
        return &match->item;
    return item();
}

QString PanelResult::reasonLabel(FileMatchCandidate::Confidence confidence)
{
    using Confidence = FileMatchCandidate::Confidence;
    switch (confidence) {
    case Confidence::exactLocal:
        return QStringLiteral("Known file on this computer");
    case Confidence::sameNameAndFingerprint:
        return QStringLiteral("Same file on this computer");
    case Confidence::sameFingerprint:
        return QStringLiteral("Same contents, different name");
    case Confidence::sameNameAndSize:
        return QStringLiteral("Same name and size");
    case Confidence::sameName:
        break;
    }
    return QStringLiteral("Same name");
}

} // namespace morvane
