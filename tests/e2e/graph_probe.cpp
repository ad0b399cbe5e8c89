// Opens the real Graph window over the library file named on the command line, and prints what the
// end-to-end test needs to drive it with the pointer and judge it by the pixels on screen:
// "ready" once the library is drawn and the view fitted to it, its nodes held where the layout first
// put them so that they stay under the pointer; on "where" (a line on stdin) "node <title> <x> <y>" for every
// node and then "centre <x> <y>", the canvas centre, in screen coordinates; "selected <title>" at each new
// selection; "menu <entries joined by |>" when a menu opens and "menu closed" when it goes; and
// "opened <title>" for each link opened. With "--free" after the library the nodes are left to the
// layout: it prints "settled" each time the layout comes to rest and "moving" at its first step
// after that, and on "lonely" "lonely <title> <x> <y>" for the shown node farthest from any other.

#include "ProbeIO.h"
#include "capture/ActiveContextService.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/Clock.h"
#include "graph/GraphViewModel.h"
#include "graph/widgets/GraphCanvas.h"
#include "graph/widgets/GraphWindow.h"
#include "store/ItemOpener.h"
#include "store/ItemOpening.h"
#include "store/LinkStore.h"

#include <QApplication>
#include <QMenu>

#include <cstdio>
#include <utility>

namespace {

using morvane::probe::say;

class PrintingOpener final : public morvane::ItemOpener {
public:
    QCoro::Task<std::optional<morvane::FileIdentity>> open(morvane::LinkItem item,
                                                           std::optional<morvane::FileIdentity>) override
    {
        say(QStringLiteral("opened ") + item.title);
        co_return std::nullopt;
    }
};

class MenuWatcher final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* menu = qobject_cast<QMenu*>(watched);
        if (menu && event->type() == QEvent::Show) {
            QStringList entries;
            for (const QAction* action : menu->actions())
                if (!action->isSeparator())
                    entries.append(action->text());
            say(QStringLiteral("menu ") + entries.join(u'|'));
        } else if (menu && event->type() == QEvent::Hide) {
            say(QStringLiteral("menu closed"));
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: graph_probe <library file> [--free]\n");
        return 2;
    }
    const bool free = argc > 2 && QByteArray(argv[2]) == "--free";
    using namespace morvane;
    LinkStore store(LinkStore::libraryAt(QString::fromLocal8Bit(argv[1])),
                    std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>()));
    GraphViewModel model(
        store, std::make_shared<GraphWorkPool>(),
        std::make_shared<ItemOpening>(store, std::make_shared<PrintingOpener>()),
        std::make_shared<ActiveContextService>(QList<std::shared_ptr<ActiveContextProvider>>()),
        SystemClock::shared());
    GraphWindow window(model, nullptr);
    MenuWatcher menus;
    application.installEventFilter(&menus);

    const auto titleOf = [&](const QUuid& id) {
        const LinkItem* item = model.content().nodeItem(id);
        return item ? item->title : QString();
    };
    bool pinned = false;
    bool ready = false;
    bool settled = false;
    QObject::connect(&model.layout(), &GraphLayoutDriver::layoutSettled, [&] {
        settled = true;
        if (!std::exchange(ready, true))
            say(QStringLiteral("ready"));
        say(QStringLiteral("settled"));
    });
    const auto changed = [&] {
        if (std::exchange(settled, false))
            say(QStringLiteral("moving"));
        if (free || pinned || model.content().nodes().isEmpty())
            return;
        pinned = true;
        const GraphPlacements& places = model.layout().placements();
        for (const GraphNode& node : QList<GraphNode>(model.content().nodes())) {
            model.layout().dragNode(node.id, *places.positionOf(node.id));
            model.layout().endDrag(node.id);
        }
    };
    QObject::connect(&model.content(), &GraphContent::nodesChanged, changed);
    QObject::connect(&model.layout(), &GraphLayoutDriver::nodesMoved, changed);
    QObject::connect(&model.selection(), &GraphSelection::selectedNodeIDChanged, [&] {
        if (const auto selected = model.selection().selectedNodeID())
            say(QStringLiteral("selected ") + titleOf(*selected));
    });

    const auto where = [&] {
        GraphCanvas& canvas = *window.canvas();
        const auto onScreen = [&](QPointF at) { return canvas.mapToGlobal(at).toPoint(); };
        const QList<GraphNode>& nodes = model.content().nodes();
        for (qsizetype i = 0; i < nodes.size(); ++i) {
            const GraphNode& node = nodes[i];
            const QPoint at =
                onScreen(canvas.viewport().toScreen(model.layout().placements().position(i), canvas.size()));
            say(QStringLiteral("node %1 %2 %3").arg(node.title).arg(at.x()).arg(at.y()));
        }
        const QPoint centre = onScreen(QPointF(canvas.width() / 2.0, canvas.height() / 2.0));
        say(QStringLiteral("centre %1 %2").arg(centre.x()).arg(centre.y()));
    };
    const auto lonely = [&] {
        GraphCanvas& canvas = *window.canvas();
        const QRectF inner = QRectF(canvas.rect()).adjusted(60, 60, -60, -60);
        double farthest = -1;
        QString title;
        QPoint at;
        const QList<GraphNode>& nodes = model.content().nodes();
        const GraphPlacements& places = model.layout().placements();
        for (qsizetype i = 0; i < nodes.size(); ++i) {
            const GraphNode& node = nodes[i];
            const QPointF p = canvas.viewport().toScreen(places.position(i), canvas.size());
            if (!inner.contains(p))
                continue;
            double nearest = 1e9;
            for (qsizetype j = 0; j < nodes.size(); ++j)
                if (j != i)
                    nearest = std::min(
                        nearest,
                        QLineF(p, canvas.viewport().toScreen(places.position(j), canvas.size())).length());
            if (nearest > farthest) {
                farthest = nearest;
                title = node.title;
                at = canvas.mapToGlobal(p).toPoint();
            }
        }
        say(QStringLiteral("lonely %1 %2 %3").arg(title).arg(at.x()).arg(at.y()));
    };
    const auto input = morvane::probe::readCommands([&](std::string_view line) {
        if (line == "where")
            where();
        else if (line == "lonely")
            lonely();
    });

    window.present();
    return QApplication::exec();
}
