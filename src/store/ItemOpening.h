#pragma once

#include "model/LinkItem.h"

#include <QCoro/QCoroTask>

#include <memory>

namespace morvane {

class ItemOpener;
class LinkStore;

// The one way an item is opened, from the panel, the graph or a morvane link: this machine's stored
// evidence of the item's file goes to the opener, and the evidence it answers is recorded with the
// open time.
class ItemOpening {
public:
    ItemOpening(LinkStore& store, std::shared_ptr<ItemOpener> opener);

    // What a library that cannot give the evidence means: a window opens the item as if there were
    // none; a link from another application reports the error instead, and opens nothing.
    enum class UnreadableEvidence { openWithout, fail };

    // Main thread; resumes there. A record that fails is logged: the item is open all the same.
    // Throws what the opener throws, and records nothing then. The caller keeps this object alive
    // until the task is done.
    QCoro::Task<> open(LinkItem item, UnreadableEvidence unreadable = UnreadableEvidence::openWithout);

private:
    LinkStore& m_store;
    std::shared_ptr<ItemOpener> m_opener;
};

} // namespace morvane
