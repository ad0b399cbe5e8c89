#include "PreferenceRules.h"

#include "PreferenceColors.h"

#include <cmath>

namespace morvane {

using namespace PreferenceColors;

AppearanceColor messageColor(MessageStyle style)
{
    switch (style) {
    case MessageStyle::secondary:
        return secondary;
    case MessageStyle::warning:
        return red.withOpacity(0.85);
    case MessageStyle::error:
        return red;
    }
    return secondary;
}

MessageStyle outcomeMessageStyle(const QString& message)
{
    return message.contains(QLatin1String("Could not"), Qt::CaseSensitive) ? MessageStyle::error
                                                                           : MessageStyle::secondary;
}

AppearanceColor syncStatusColor(SyncStatus status)
{
    switch (status) {
    case SyncStatus::disabled:
        return secondary;
    case SyncStatus::notSignedIn:
        return orange;
    case SyncStatus::ready:
    case SyncStatus::upToDate:
        return green;
    case SyncStatus::syncing:
        return blue;
    case SyncStatus::error:
        return red;
    }
    return secondary;
}

AppearanceColor accessStatusColor(const QString& status, const QString& grantedText)
{
    if (status == grantedText)
        return green;
    if (status == QLatin1String("Denied") || status == QLatin1String("Restricted"))
        return red;
    if (status == QLatin1String("Requesting..."))
        return blue;
    return secondary;
}

ConfidenceBadge confidenceBadge(double confidence)
{
    // std::round rounds halves away from zero, as the badge wants.
    const auto percent = static_cast<long long>(std::round(confidence * 100));
    const auto text = [&](const char* level) {
        return QStringLiteral("%1 %2%").arg(QLatin1String(level)).arg(percent);
    };
    if (confidence >= 0.95)
        return {text("High"), green};
    if (confidence >= 0.7)
        return {text("Medium"), orange};
    return {text("Low"), secondary};
}

RepairStatusPresentation repairStatusPresentation(FileResolutionStatus status)
{
    switch (status) {
    case FileResolutionStatus::resolved:
        return {Glyph::checkmark, green, QStringLiteral("Found likely match")};
    case FileResolutionStatus::staleBookmark:
        return {Glyph::checkmark, green, QStringLiteral("Bookmark can be refreshed")};
    case FileResolutionStatus::needsRelocation:
        return {Glyph::folder, orange, QStringLiteral("Needs confirmation")};
    case FileResolutionStatus::multipleCandidates:
        return {Glyph::document, orange, QStringLiteral("Multiple matches")};
    case FileResolutionStatus::missing:
        return {Glyph::warning, red, QStringLiteral("Missing")};
    }
    return {Glyph::warning, red, QStringLiteral("Missing")};
}

namespace {
QString sourceRawValue(FileResolutionCandidateSource source)
{
    switch (source) {
    case FileResolutionCandidateSource::bookmark:
        return QStringLiteral("bookmark");
    case FileResolutionCandidateSource::lastKnownPath:
        return QStringLiteral("lastKnownPath");
    case FileResolutionCandidateSource::knownRootScan:
        return QStringLiteral("knownRootScan");
    case FileResolutionCandidateSource::activeContext:
        return QStringLiteral("activeContext");
    case FileResolutionCandidateSource::manualSelection:
        return QStringLiteral("manualSelection");
    }
    return {};
}
} // namespace

QString candidateEvidenceLine(const FileResolutionCandidate& candidate)
{
    const QString summary = candidate.evidenceSummary();
    return summary.isEmpty() ? sourceRawValue(candidate.source) : summary;
}

QString importConfirmationText(const QString& fileName, const MorvaneLibraryImportPreview& preview)
{
    return fileName + QStringLiteral(" contains %1 link(s) and %2 relation(s).\n\n"
                                     "%3 link(s) and %4 relation(s) already exist locally and will be "
                                     "updated when merged.\n\n"
                                     "Merge keeps existing local records that are not in the file. Replace "
                                     "empties the local library first, then imports this file.")
                          .arg(preview.linkCount)
                          .arg(preview.relationCount)
                          .arg(preview.existingLinkCount)
                          .arg(preview.existingRelationCount);
}

QString replaceConfirmationText(const QString& fileName, const MorvaneLibraryImportPreview& preview)
{
    return QStringLiteral("This removes the current local library before importing %1 link(s) and %2 "
                          "relation(s) from ")
               .arg(preview.linkCount)
               .arg(preview.relationCount) +
           fileName + QStringLiteral(". This cannot be undone except by importing another backup.");
}

QString volumePercentText(double volume, const QLocale& locale)
{
    return locale.toString(std::round(volume * 100), 'f', 0) + locale.percent();
}

} // namespace morvane
