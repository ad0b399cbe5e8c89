#include "PreferenceSection.h"

#include "PreferenceColors.h"

namespace morvane {

QString rawValue(PreferenceSection section)
{
    return enumNameText(preferenceSectionNames, section);
}

std::optional<PreferenceSection> preferenceSection(const QString& rawValue)
{
    return enumValue(preferenceSectionNames, rawValue);
}

PreferenceSectionPresentation presentation(PreferenceSection section)
{
    using namespace PreferenceColors;
    switch (section) {
    case PreferenceSection::general:
        return {QStringLiteral("General"), QStringLiteral("Startup, task bar, sound, and copy defaults."),
                Glyph::gear, accent};
    case PreferenceSection::keyboard:
        return {QStringLiteral("Keyboard"),
                QStringLiteral("Global shortcuts for fast capture and graph access."), Glyph::returnKey,
                accent};
    case PreferenceSection::sync:
        return {QStringLiteral("Sync"), QStringLiteral("Opt-in sync status and manual sync controls."),
                Glyph::reload, blue};
    case PreferenceSection::files:
        return {QStringLiteral("Files"),
                QStringLiteral("User-approved folders for file repair across computers."), Glyph::folder,
                orange};
    case PreferenceSection::updates:
        return {QStringLiteral("Updates"), QStringLiteral("Updates come from the package manager."),
                Glyph::sparkles, accent};
    case PreferenceSection::about:
        return {QStringLiteral("About"), QStringLiteral("App version and product identity."), Glyph::info,
                accent};
    case PreferenceSection::advanced:
        return {QStringLiteral("Advanced"), QStringLiteral("Destructive maintenance actions."),
                Glyph::warning, red};
    }
    return {};
}

} // namespace morvane
