#pragma once

#include "foundation/AppearanceColor.h"
#include "foundation/EnumNames.h"
#include "foundation/Glyph.h"

#include <QString>

#include <array>
#include <optional>

namespace morvane {

// The pages of the Preferences window, in sidebar order. The raw values are exact (case counts).
enum class PreferenceSection { general, keyboard, sync, files, updates, about, advanced };

inline constexpr EnumName<PreferenceSection> preferenceSectionNames[] = {
    {PreferenceSection::general, "general"},   {PreferenceSection::keyboard, "keyboard"},
    {PreferenceSection::sync, "sync"},         {PreferenceSection::files, "files"},
    {PreferenceSection::updates, "updates"},   {PreferenceSection::about, "about"},
    {PreferenceSection::advanced, "advanced"},
};

inline constexpr std::array allPreferenceSections = {
    PreferenceSection::general,  PreferenceSection::keyboard, PreferenceSection::sync,
    PreferenceSection::files,    PreferenceSection::updates,  PreferenceSection::about,
    PreferenceSection::advanced,
};

QString rawValue(PreferenceSection section);
std::optional<PreferenceSection> preferenceSection(const QString& rawValue);

// What the sidebar entry and the page header show for a section.
struct PreferenceSectionPresentation {
    QString title;
    QString subtitle;
    Glyph glyph;
    AppearanceColor tint;
};

PreferenceSectionPresentation presentation(PreferenceSection section);

} // namespace morvane
