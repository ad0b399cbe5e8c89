#include "FileManagerReader.h"

#include "capture/WindowFrame.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"
#include "platform/AccessibilityApi.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <functional>

namespace morvane {

namespace {

bool isCell(AccessibilityRole role)
{
    return role == AccessibilityRole::tableCell || role == AccessibilityRole::listItem ||
           role == AccessibilityRole::treeItem || role == AccessibilityRole::tableRow;
}

// The first non-empty name of an element inside the cell (the cell itself left out) whose role is one
// of these.
std::optional<QString> innerName(const AccessibilityElements& api, const AccessibilityElement& cell,
                                 const std::function<bool(AccessibilityRole)>& roleMatches)
{
    AccessibilityElements::Walk walk;
    walk.maxDepth = 8;
    walk.maxNodes = 60;
    walk.showingOnly = false;
    std::optional<QString> found;
    api.findFirst(
        cell,
        [&](const AccessibilityElement& element) {
            if (element == cell || !roleMatches(api.role(element)))
                return false;
            found = api.name(element);
            return found && !found->isEmpty();
        },
        walk);
    return found && !found->isEmpty() ? found : std::nullopt;
}

// The item's name a selected cell shows: the label inside it where it draws one (Nautilus names its
// cells after their widget type and the item in a label), else its own name, else the first named
// cell inside it (Thunar's rows are cells holding the name cell).
std::optional<QString> nameInCell(const AccessibilityElements& api, const AccessibilityElement& cell)
{
    if (auto label =
            innerName(api, cell, [](AccessibilityRole role) { return role == AccessibilityRole::label; }))
        return label;
    if (const std::optional<QString> own = api.name(cell); own && !own->isEmpty())
        return own;
    return innerName(api, cell, isCell);
}

// The first selected cell of the view: the view's own selection where it reports one, else the
// cells in the selected state. Thunar's rows are cells holding cells, so selected ones are entered.
std::optional<QString> selectedName(const AccessibilityElements& api, const AccessibilityElement& view)
{
    for (const AccessibilityElement& selected : api.selectedChildren(view)) {
        if (const std::optional<QString> name = nameInCell(api, selected))
            return name;
    }
    AccessibilityElements::Walk walk;
    walk.maxDepth = 3;
    walk.maxNodes = 4000;
    walk.showingOnly = false;
    std::optional<QString> found;
    api.findFirst(
        view,
        [&](const AccessibilityElement& element) {
            if (element == view || !isCell(api.role(element)) ||
                !api.states(element).testFlag(AccessibilityState::selected))
                return false;
            found = nameInCell(api, element);
            return found.has_value();
        },
        walk);
    return found;
}

bool isView(AccessibilityRole role)
{
    return role == AccessibilityRole::table || role == AccessibilityRole::treeTable ||
           role == AccessibilityRole::layeredPane;
}

// The one item a status bar names when one is selected: Thunar's ""name"  |  size  |  type", Nemo's
// and Caja's ""name" selected (size)", PCManFM's ""name" (size) type". Several items selected are
// counted, not named.
std::optional<QString> nameInStatusBar(const std::optional<QString>& text)
{
    if (!text || !text->startsWith(u'"'))
        return std::nullopt;
    qsizetype end = text->indexOf(QLatin1String("\"  |"), 1);
    if (end < 0)
        end = text->indexOf(QLatin1String("\" selected"), 1);
    if (end < 0)
        end = text->indexOf(QLatin1String("\" ("), 1);
    if (end <= 1)
        return std::nullopt;
    return text->mid(1, end - 1);
}

// The folder a path bar shows: one button a folder, the deepest first and the root (unnamed, or
// "/") last, then the bar's own scroll buttons. The window is titled after the folder shown, which
// need not be the deepest button once the user went up.
std::optional<QString> pathBarFolder(const AccessibilityElements& api, const AccessibilityElement& bar,
                                     const QString& title)
{
    const std::optional<AccessibilityElement> first = api.childAt(bar, 0);
    if (!first || api.role(*first) != AccessibilityRole::other)
        return std::nullopt;
    QStringList names;
    for (const AccessibilityElement& button : api.children(bar, 256)) {
        if (api.role(button) != AccessibilityRole::other)
            break;
        names.append(api.name(button).value_or(QString()));
    }
    const qsizetype shown = names.indexOf(title);
    if (shown < 0 || names.size() < 2 || !(names.last().isEmpty() || names.last() == QLatin1String("/")))
        return std::nullopt;
    QString path;
    for (qsizetype i = names.size() - 2; i >= shown; --i) {
        const QString& name = names.at(i);
        if (name.isEmpty() || name.contains(u'/') || name == QLatin1String("..") ||
            name == QLatin1String("."))
            return std::nullopt;
        path += u'/' + name;
    }
    return path.isEmpty() ? std::nullopt : std::optional(path);
}

} // namespace

bool statusNamesSelectedItem(const QString& text)
{
    return nameInStatusBar(text).has_value();
}

std::optional<FileManager> fileManagerOfIdentifier(const QString& identifier)
{
    static const QHash<QString, FileManager> managers{
        {QStringLiteral("org.gnome.nautilus"), FileManager::nautilus},
        {QStringLiteral("nautilus"), FileManager::nautilus},
        {QStringLiteral("thunar"), FileManager::thunar},
        {QStringLiteral("org.xfce.thunar"), FileManager::thunar},
        {QStringLiteral("nemo"), FileManager::nemo},
        {QStringLiteral("org.nemo"), FileManager::nemo},
        {QStringLiteral("caja"), FileManager::caja},
        {QStringLiteral("org.mate.caja"), FileManager::caja},
        {QStringLiteral("pcmanfm"), FileManager::pcmanfm},
    };
    const auto found = managers.constFind(identifier.toLower());
    if (found == managers.constEnd())
        return std::nullopt;
    return *found;
}

QString fileManagerName(FileManager manager)
{
    switch (manager) {
    case FileManager::nautilus:
        return QStringLiteral("Nautilus");
    case FileManager::thunar:
        return QStringLiteral("Thunar");
    case FileManager::nemo:
        return QStringLiteral("Nemo");
    case FileManager::caja:
        return QStringLiteral("Caja");
    case FileManager::pcmanfm:
        return QStringLiteral("PCManFM");
    }
    return {};
}

// Why a window that could be read gave no item.
WindowReading FileManagerReader::nothingSelectedIn(FileManager manager, const Seen& seen)
{
    if (!seen.windowFound)
        return {};
    const QString name = fileManagerName(manager);
    // Thunar's icon views show no items: only its status bar names the one selected, when it is shown.
    if (manager == FileManager::thunar && seen.tables < 2 && !seen.statusBar)
        return WindowReading::nothingBecause(captureReason::selectionNotShown(name));
    return WindowReading::nothingBecause(captureReason::nothingSelected(name));
}

FileManagerReader::FileManagerReader(std::shared_ptr<const SessionBus> bus,
                                     std::shared_ptr<AccessibilityElements> accessibility,
                                     std::shared_ptr<const FileIdentityService> fileIdentityService)
    : m_bus(std::move(bus))
    , m_accessibility(std::move(accessibility))
    , m_fileIdentityService(std::move(fileIdentityService))
{
}

FileManagerReader::Seen FileManagerReader::readWindow(FileManager manager,
                                                      const FileManagerWindow& window) const
{
    const bool wantsLocation = manager != FileManager::nautilus;
    const bool readsPathBar = manager == FileManager::nemo;
    // Nemo and Caja keep the hidden panes of their side bar (a folder tree, the history) selected:
    // only views on screen count there.
    const bool shownViewsOnly =
        manager == FileManager::nemo || manager == FileManager::caja || manager == FileManager::pcmanfm;
    QFuture<Seen> reading = m_accessibility->run([window, wantsLocation, readsPathBar,
                                                  shownViewsOnly](AccessibilityElements& api) -> Seen {
        const std::optional<AccessibilityElement> frame = windowFrame(api, window.processId, window.title);
        if (!frame)
            return {};
        // One walk finds the location, the views and the status bar. The folder's view comes after the
        // side pane's table of places, and a view not shown selects nothing: the last view that
        // selects something is the one.
        AccessibilityElements::Walk walk;
        walk.maxDepth = 24;
        walk.maxNodes = 1500;
        walk.showingOnly = false;
        walk.skipRoles = {AccessibilityRole::menuBar,    AccessibilityRole::menu,
                          AccessibilityRole::popupMenu,  AccessibilityRole::table,
                          AccessibilityRole::list,       AccessibilityRole::treeTable,
                          AccessibilityRole::layeredPane};
        Seen seen;
        seen.windowFound = true;
        QList<AccessibilityElement> views;
        std::optional<QString> statusName;
        std::optional<QString> pathBar;
        api.findFirst(
            *frame,
            [&](const AccessibilityElement& element) {
                const AccessibilityRole role = api.role(element);
                if (role == AccessibilityRole::table)
                    ++seen.tables;
                if (shownViewsOnly ? isView(role) && api.states(element).testFlag(AccessibilityState::showing)
                                   : role == AccessibilityRole::table) {
                    views.append(element);
                } else if (wantsLocation && !seen.location &&
                           (role == AccessibilityRole::text || role == AccessibilityRole::entry)) {
                    if (const std::optional<QString> text = api.text(element); text && text->startsWith(u'/'))
                        seen.location = text;
                } else if (wantsLocation && role == AccessibilityRole::statusBar && !seen.statusBar &&
                           api.states(element).testFlag(AccessibilityState::showing)) {
                    seen.statusBar = true;
                    statusName = nameInStatusBar(api.name(element));
                } else if (readsPathBar && role == AccessibilityRole::panel && !pathBar) {
                    pathBar = pathBarFolder(api, element, window.title);
                }
                return false;
            },
            walk);
        for (auto view = views.rbegin(); view != views.rend() && !seen.selectedName; ++view)
            seen.selectedName = selectedName(api, *view);
        if (!seen.selectedName)
            seen.selectedName = statusName;
        if (!seen.location)
            seen.location = pathBar;
        return seen;
    });
    return jobAnswer(reading);
}

WindowReading FileManagerReader::read(FileManager manager, const FileManagerWindow& window) const
{
    const Seen seen = readWindow(manager, window);
    if (manager == FileManager::pcmanfm && !seen.windowFound &&
        !startedWithAccessibilityBridge(window.processId))
        return WindowReading::nothingBecause(captureReason::bridgeNotLoaded(fileManagerName(manager)));
    if (!seen.selectedName)
        return nothingSelectedIn(manager, seen);
    const QString& name = *seen.selectedName;
    // A cell shows one name of the folder: anything that would lead elsewhere is no item of it.
    if (name.contains(u'/') || name.contains(QChar(u'\0')) || name == QLatin1String(".") ||
        name == QLatin1String(".."))
        return std::nullopt;
    std::optional<QString> folder =
        manager == FileManager::nautilus ? fileManagerWindowFolder(*m_bus, window) : seen.location;
    if (!folder || !folder->startsWith(u'/'))
        return WindowReading::nothingBecause(captureReason::folderNotKnown(fileManagerName(manager)));
    const QString path = QDir(*folder).filePath(name);
    const QFileInfo info(path);
    if (!info.exists()) // the side pane's place, with no item of the folder selected
        return nothingSelectedIn(manager, seen);
    const bool isFolder = info.isDir();
    const QString url = LocatorUrl::fileUrlText(path, isFolder);
    return CapturedContext{name, url, isFolder ? LinkType::folder : LinkType::file, fileManagerName(manager),
                           m_fileIdentityService->makeIdentity(url, false)};
}

} // namespace morvane
