#include "ApplicationNames.h"

#include <QHash>

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

} // namespace

QString identifierForApplicationName(const QString& name)
{
    return identifierTable().value(name.toLower(), name);
}

} // namespace morvane
