#include "ApplicationNames.h"

#include "foundation/Paths.h"
#include "platform/DesktopEntry.h"

#include <QHash>

#include <mutex>

namespace morvane {

namespace {

// Names that desktop applications give themselves on Linux, lower-cased, and the identifiers the
// providers know them by.
const QHash<QString, QString>& identifierTable()
{
    static const QHash<QString, QString> table{
        // WM_CLASS classes, desktop file names and Flatpak application ids.
        {QStringLiteral("obsidian"), QStringLiteral("md.obsidian")},
        {QStringLiteral("md.obsidian.obsidian"), QStringLiteral("md.obsidian")},
        {QStringLiteral("google-chrome"), QStringLiteral("com.google.Chrome")},
        {QStringLiteral("com.google.chrome"), QStringLiteral("com.google.Chrome")},
        {QStringLiteral("brave-browser"), QStringLiteral("com.brave.Browser")},
        {QStringLiteral("com.brave.browser"), QStringLiteral("com.brave.Browser")},
        {QStringLiteral("microsoft-edge"), QStringLiteral("com.microsoft.edgemac")},
        {QStringLiteral("com.microsoft.edge"), QStringLiteral("com.microsoft.edgemac")},
        {QStringLiteral("microsoft-edge-beta"), QStringLiteral("com.microsoft.edgemac")},
        {QStringLiteral("google-chrome-beta"), QStringLiteral("com.google.Chrome")},
        {QStringLiteral("firefox"), QStringLiteral("org.mozilla.firefox")},
        {QStringLiteral("firefox-esr"), QStringLiteral("org.mozilla.firefox")},
        {QStringLiteral("org.mozilla.firefox"), QStringLiteral("org.mozilla.firefox")},
        {QStringLiteral("chromium"), QStringLiteral("org.chromium.Chromium")},
        {QStringLiteral("chromium-browser"), QStringLiteral("org.chromium.Chromium")},
        {QStringLiteral("org.chromium.chromium"), QStringLiteral("org.chromium.Chromium")},
        {QStringLiteral("vivaldi-stable"), QStringLiteral("com.vivaldi.Vivaldi")},
        {QStringLiteral("vivaldi"), QStringLiteral("com.vivaldi.Vivaldi")},
        {QStringLiteral("com.vivaldi.vivaldi"), QStringLiteral("com.vivaldi.Vivaldi")},
        // The desktop's calendar and contacts applications, which keep their items in the same stores
        // the calendar and contact services read.
        {QStringLiteral("gnome-calendar"), QStringLiteral("com.apple.iCal")},
        {QStringLiteral("org.gnome.calendar"), QStringLiteral("com.apple.iCal")},
        {QStringLiteral("gnome-contacts"), QStringLiteral("com.apple.AddressBook")},
        {QStringLiteral("org.gnome.contacts"), QStringLiteral("com.apple.AddressBook")},
        // The desktop's other mail client, read as Thunderbird is.
        {QStringLiteral("evolution"), QStringLiteral("org.gnome.Evolution")},
        {QStringLiteral("org.gnome.evolution"), QStringLiteral("org.gnome.Evolution")},
    };
    return table;
}

// The Name of the first entry, in the folders' order, that a candidate names; empty when none does.
// An entry marked Hidden is one the user deleted, and hides the system's of that name.
QString entryName(const QStringList& candidates, const QStringList& dataFolders)
{
    for (const QString& candidate : candidates) {
        if (candidate.isEmpty() || candidate.contains(u'/') || candidate.startsWith(u'.'))
            continue;
        for (const QString& folder : dataFolders) {
            const std::optional<QByteArray> contents = desktop_entry::read(
                folder + QStringLiteral("/applications/") + candidate + QStringLiteral(".desktop"));
            if (!contents)
                continue;
            const QHash<QString, QString> keys = desktop_entry::keys(*contents);
            if (keys.value(QStringLiteral("Hidden")) == QLatin1String("true"))
                break;
            const QString name = keys.value(QStringLiteral("Name")).trimmed();
            if (!name.isEmpty())
                return name;
        }
    }
    return {};
}

} // namespace

QString identifierForApplicationName(const QString& name)
{
    return identifierTable().value(name.toLower(), name);
}

QString applicationDisplayName(const QString& desktopId, const QString& windowClass)
{
    QStringList dataFolders = desktop_entry::systemDataDirectories();
    dataFolders.prepend(dataHome());
    // The panel asks at every reading it starts: the files are read for the first.
    static std::mutex mutex;
    static QHash<QString, QString> known;
    const QString key = dataFolders.join(u':') + QChar(u'\0') + desktopId + QChar(u'\0') + windowClass;
    {
        const std::lock_guard lock(mutex);
        if (const auto found = known.constFind(key); found != known.constEnd())
            return *found;
    }
    QString name = entryName({desktopId, windowClass, windowClass.toLower()}, dataFolders);
    if (name.isEmpty())
        name = windowClass;
    const std::lock_guard lock(mutex);
    // Applications are few; a session that changes its data folders is rarer still.
    if (known.size() >= 256)
        known.clear();
    known.insert(key, name);
    return name;
}

} // namespace morvane
