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
std::optional<QString> innerName(const AccessibilityApi& api, const AccessibilityElement& cell,
                                 const std::function<bool(AccessibilityRole)>& roleMatches)
{
    AccessibilityApi::Walk walk;
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
std::optional<QString> nameInCell(const AccessibilityApi& api, const AccessibilityElement& cell)
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
std::optional<QString> selectedName(const AccessibilityApi& api, const AccessibilityElement& view)
{
    for (const AccessibilityElement& selected : api.selectedChildren(view)) {
        if (const std::optional<QString> name = nameInCell(api, selected))
            return name;
    }
    AccessibilityApi::Walk walk;
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

} // namespace

std::optional<FileManager> fileManagerOfIdentifier(const QString& identifier)
{
    static const QHash<QString, FileManager> managers{
        {QStringLiteral("org.gnome.nautilus"), FileManager::nautilus},
        {QStringLiteral("nautilus"), FileManager::nautilus},
        {QStringLiteral("thunar"), FileManager::thunar},
        {QStringLiteral("org.xfce.thunar"), FileManager::thunar},
    };
    const auto found = managers.constFind(identifier.toLower());
    if (found == managers.constEnd())
        return std::nullopt;
    return *found;
}

QString fileManagerName(FileManager manager)
{
    return manager == FileManager::nautilus ? QStringLiteral("Nautilus") : QStringLiteral("Thunar");
}

// Why a window that could be read gave no item.
WindowReading FileManagerReader::nothingSelectedIn(FileManager manager, const Seen& seen)
{
    if (!seen.windowFound)
        return {};
    const QString name = fileManagerName(manager);
    if (manager == FileManager::thunar && seen.tables < 2)
        return WindowReading::nothingBecause(captureReason::selectionNotShown(name));
    return WindowReading::nothingBecause(captureReason::nothingSelected(name));
}

FileManagerReader::FileManagerReader(std::shared_ptr<const SessionBus> bus,
                                     std::shared_ptr<AccessibilityApi> accessibility,
                                     std::shared_ptr<const FileIdentityService> fileIdentityService)
    : m_bus(std::move(bus))
    , m_accessibility(std::move(accessibility))
    , m_fileIdentityService(std::move(fileIdentityService))
{
}

FileManagerReader::Seen FileManagerReader::readWindow(FileManager manager,
                                                      const FileManagerWindow& window) const
{
    const bool wantsLocation = manager == FileManager::thunar;
    QFuture<Seen> reading = m_accessibility->run([window, wantsLocation](AccessibilityApi& api) -> Seen {
        const std::optional<AccessibilityElement> frame = windowFrame(api, window.processId, window.title);
        if (!frame)
            return {};
        // One walk finds the location entry and the tables. The folder's view comes after the side
        // pane's table of places, and a view not shown selects nothing: the last table that selects
        // something is the one.
        AccessibilityApi::Walk walk;
        walk.maxDepth = 24;
        walk.maxNodes = 1500;
        walk.showingOnly = false;
        walk.skipRoles = {AccessibilityRole::menuBar, AccessibilityRole::menu, AccessibilityRole::popupMenu,
                          AccessibilityRole::table, AccessibilityRole::list};
        Seen seen;
        seen.windowFound = true;
        QList<AccessibilityElement> tables;
        api.findFirst(
            *frame,
            [&](const AccessibilityElement& element) {
                const AccessibilityRole role = api.role(element);
                if (role == AccessibilityRole::table)
                    tables.append(element);
                else if (wantsLocation && !seen.location &&
                         (role == AccessibilityRole::text || role == AccessibilityRole::entry)) {
                    if (const std::optional<QString> text = api.text(element); text && text->startsWith(u'/'))
                        seen.location = text;
                }
                return false;
            },
            walk);
        seen.tables = int(tables.size());
        for (auto table = tables.rbegin(); table != tables.rend() && !seen.selectedName; ++table)
            seen.selectedName = selectedName(api, *table);
        return seen;
    });
    return jobAnswer(reading);
}

WindowReading FileManagerReader::read(FileManager manager, const FileManagerWindow& window) const
{
    const Seen seen = readWindow(manager, window);
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
        return std::nullopt;
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
