#include "ObsidianFiles.h"

#include "foundation/LocatorUrl.h"
#include "foundation/Logging.h"
#include "foundation/Paths.h"
#include "platform/FileSystemProbe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

#include <nlohmann/json.hpp>

MORVANE_LOGGING_CATEGORY(lcObsidianContext, "ObsidianContext")

namespace morvane {

namespace {

using Json = nlohmann::ordered_json;

// Obsidian's files are a few kilobytes; these bounds only stop a hostile or broken one from
// exhausting memory, or the stack of the recursive searches below.
constexpr qint64 maxFileSize = 16 * 1024 * 1024;
constexpr int maxNesting = 512;

bool nestsDeeperThan(const QByteArray& bytes, int limit)
{
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : bytes) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// The file's top-level object; nothing when it is missing, unreadable, not JSON or not an object.
std::optional<Json> readObject(const QString& path)
{
    // A regular file only: reading a FIFO would block the main thread.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Read one byte past the bound, in case the file grew since its size was asked.
    const bool oversized = file.size() > maxFileSize;
    const QByteArray bytes = oversized ? QByteArray() : file.read(maxFileSize + 1);
    if (oversized || bytes.size() > maxFileSize || nestsDeeperThan(bytes, maxNesting)) {
        qCInfo(lcObsidianContext).noquote()
            << "Ignored Obsidian file that is too large or too deeply nested:" << privateValue(path);
        return std::nullopt;
    }
    Json json = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return std::nullopt;
    return json;
}

std::optional<QString> stringMember(const Json& object, const char* key)
{
    const auto member = object.find(key);
    if (member == object.end() || !member->is_string())
        return std::nullopt;
    return QString::fromStdString(member->get<std::string>());
}

const Json* objectMember(const Json& object, const char* key)
{
    const auto member = object.find(key);
    return member != object.end() && member->is_object() ? &*member : nullptr;
}

// A leaf's view type (state.type) and the file it shows (state.state.file, never empty).
std::optional<QString> viewType(const Json& leaf)
{
    const Json* state = objectMember(leaf, "state");
    return state ? stringMember(*state, "type") : std::nullopt;
}

std::optional<QString> shownFile(const Json& leaf)
{
    const Json* state = objectMember(leaf, "state");
    const Json* inner = state ? objectMember(*state, "state") : nullptr;
    std::optional<QString> file = inner ? stringMember(*inner, "file") : std::nullopt;
    return file && !file->isEmpty() ? file : std::nullopt;
}

// Depth first, in document order: an object is offered itself, then its member values are searched.
// Stops at the first object for which found returns a value.
template <class Found> std::optional<QString> searchObjects(const Json& node, const Found& found)
{
    if (node.is_object()) {
        if (std::optional<QString> result = found(node))
            return result;
    }
    if (node.is_object() || node.is_array()) {
        for (const Json& child : node) {
            if (std::optional<QString> result = searchObjects(child, found))
                return result;
        }
    }
    return std::nullopt;
}

std::optional<QString> firstMarkdownLeaf(const Json& node)
{
    return searchObjects(node, [](const Json& leaf) {
        return viewType(leaf) == QLatin1String("markdown") ? shownFile(leaf) : std::nullopt;
    });
}

// The file the side panes that follow the active note show most often; the first of equals.
std::optional<QString> sidePaneFile(const Json& workspace)
{
    static const QStringList followers{QStringLiteral("backlink"), QStringLiteral("outgoing-link"),
                                       QStringLiteral("outline")};
    QStringList order;
    QHash<QString, int> counts;
    searchObjects(workspace, [&](const Json& leaf) -> std::optional<QString> {
        const std::optional<QString> type = viewType(leaf);
        if (type && followers.contains(*type)) {
            if (const std::optional<QString> file = shownFile(leaf)) {
                if (counts[*file]++ == 0)
                    order.append(*file);
            }
        }
        return std::nullopt;
    });
    std::optional<QString> best;
    for (const QString& file : order) {
        if (!best || counts.value(file) > counts.value(*best))
            best = file;
    }
    return best;
}

QString joinedPath(const QString& folder, QString relative)
{
    while (relative.startsWith(u'/'))
        relative.remove(0, 1);
    return folder.endsWith(u'/') ? folder + relative : folder + u'/' + relative;
}

bool isExistingFile(const QString& path)
{
    return !pathHoldsNul(path) && QFileInfo(path).isFile();
}

} // namespace

QStringList ObsidianFiles::registryLocations()
{
    const QString home = QDir::homePath();
    return {configHome() + QStringLiteral("/obsidian/obsidian.json"),
            home + QStringLiteral("/.var/app/md.obsidian.Obsidian/config/obsidian/obsidian.json"),
            home + QStringLiteral("/snap/obsidian/current/.config/obsidian/obsidian.json")};
}

QList<ObsidianVault> ObsidianFiles::vaults()
{
    QList<ObsidianVault> vaults;
    const QStringList locations = registryLocations();
    const auto registry = std::find_if(locations.begin(), locations.end(),
                                       [](const QString& path) { return QFileInfo::exists(path); });
    if (registry == locations.end())
        return vaults;
    const std::optional<Json> json = readObject(*registry);
    const Json* entries = json ? objectMember(*json, "vaults") : nullptr;
    if (!entries)
        return vaults;
    for (const Json& entry : *entries) {
        if (!entry.is_object())
            continue;
        const std::optional<QString> path = stringMember(entry, "path");
        if (!path || !path->startsWith(u'/'))
            continue;
        const auto open = entry.find("open");
        vaults.append({*path, open != entry.end() && open->is_boolean() && open->get<bool>()});
    }
    return vaults;
}

std::optional<QString> ObsidianFiles::activeNotePath(const QString& vaultPath)
{
    const std::optional<Json> workspace =
        readObject(joinedPath(vaultPath, QStringLiteral(".obsidian/workspace.json")));
    if (!workspace)
        return std::nullopt;

    // The active leaf shows the note whatever its view (a PDF, a canvas).
    if (const std::optional<QString> active = stringMember(*workspace, "active")) {
        const std::optional<QString> file = searchObjects(*workspace, [&](const Json& leaf) {
            return stringMember(leaf, "id") == *active ? shownFile(leaf) : std::nullopt;
        });
        if (file)
            return file;
    }
    if (const auto main = workspace->find("main"); main != workspace->end()) {
        if (std::optional<QString> file = firstMarkdownLeaf(*main))
            return file;
    }
    if (std::optional<QString> file = sidePaneFile(*workspace))
        return file;
    if (const auto recent = workspace->find("lastOpenFiles");
        recent != workspace->end() && recent->is_array()) {
        for (const Json& entry : *recent) {
            if (!entry.is_string())
                continue;
            const QString file = QString::fromStdString(entry.get<std::string>());
            if (file.endsWith(QLatin1String(".md")) && isExistingFile(joinedPath(vaultPath, file)))
                return file;
        }
    }
    return firstMarkdownLeaf(*workspace);
}

std::optional<QString> ObsidianFiles::activeNote()
{
    for (const ObsidianVault& vault : vaults()) {
        if (!vault.isOpen)
            continue;
        if (const std::optional<QString> relative = activeNotePath(vault.path)) {
            const QString path = joinedPath(vault.path, *relative);
            if (isExistingFile(path))
                return path;
        }
    }
    return std::nullopt;
}

std::optional<QString> ObsidianFiles::notePath(const QString& locator, const QList<ObsidianVault>& vaults)
{
    const std::optional<LocatorUrl> url = LocatorUrl::parse(locator);
    return url ? notePath(*url, vaults) : std::nullopt;
}

std::optional<QString> ObsidianFiles::notePath(const LocatorUrl& locator, const QList<ObsidianVault>& vaults)
{
    if (locator.scheme().compare(QLatin1String("obsidian"), Qt::CaseInsensitive) != 0 ||
        locator.host().value_or(QString()).compare(QLatin1String("open"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QHash<QString, QString> query;
    for (const QueryItem& item : locator.queryItems()) {
        if (!item.name.isEmpty() && item.value)
            query.insert(item.name.toLower(), *item.value);
    }
    if (const QString path = query.value(QStringLiteral("path")); path.startsWith(u'/'))
        return path.normalized(QString::NormalizationForm_C);
    const QString vault = query.value(QStringLiteral("vault"));
    QString file = query.value(QStringLiteral("file"));
    if (vault.isEmpty() || file.isEmpty())
        return std::nullopt;
    if (QFileInfo(file).suffix().isEmpty())
        file += QStringLiteral(".md");
    for (const ObsidianVault& known : vaults) {
        if (QFileInfo(known.path).fileName() == vault)
            return joinedPath(known.path, file).normalized(QString::NormalizationForm_C);
    }
    return std::nullopt;
}

} // namespace morvane
