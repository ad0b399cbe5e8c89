#pragma once

#include "foundation/Clock.h"
#include "model/LinkItem.h"

#include <QFuture>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace morvane {

class ActiveContextService;
class AppSettings;
class ItemOpening;
class LinkStore;
class PasteboardService;
class QuickPanelTipStore;
class RelationService;
class SearchService;

// What the quick panel works with. Every service outlives the model; preferences may be absent
// (the model itself never reads them: the view takes the copy format from there).
struct QuickPanelServices {
    // The library search (at most 200 links, the recent ones for a blank query); the store's own
    // when none is given.
    using LinkSearch = std::function<QFuture<QList<LinkItem>>(const QString&)>;

    LinkStore* store = nullptr;
    SearchService* searchService = nullptr;
    RelationService* relationService = nullptr;
    std::shared_ptr<ItemOpening> opening; // opens a link and records the open
    PasteboardService* pasteboard = nullptr;
    AppSettings* preferences = nullptr;
    ActiveContextService* activeContextService = nullptr;
    QuickPanelTipStore* tipStore = nullptr;
    std::shared_ptr<Clock> clock; // the system clock when none is given
    LinkSearch linkSearch;
};

} // namespace morvane
