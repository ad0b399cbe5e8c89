#pragma once

#include "files/FileResolution.h"
#include "files/FileResolutionCandidate.h"
#include "foundation/AppearanceColor.h"
#include "foundation/Glyph.h"
#include "model/MorvaneLibraryExport.h"
#include "sync/SyncStatus.h"

#include <QLocale>
#include <QString>

namespace morvane {

// How a one-paragraph message is inked.
enum class MessageStyle { secondary, warning, error };

AppearanceColor messageColor(MessageStyle style);
// Outcome messages of the library actions are plain sentences; the failures are the ones that say
// "Could not" (case counts), and those are shown as errors.
MessageStyle outcomeMessageStyle(const QString& message);

AppearanceColor syncStatusColor(SyncStatus status);
// The colour of a calendar or contacts access status: green only for that store's own granted text
// ("Full access" for calendars, "Authorized" for contacts), red when refused, blue while asking.
AppearanceColor accessStatusColor(const QString& status, const QString& grantedText);

// The badge of a repair candidate: "High 95%", "Medium 70%", "Low 40%".
struct ConfidenceBadge {
    QString text;
    AppearanceColor color;
};
ConfidenceBadge confidenceBadge(double confidence);

struct RepairStatusPresentation {
    Glyph glyph;
    AppearanceColor color;
    QString label;
};
RepairStatusPresentation repairStatusPresentation(FileResolutionStatus status);

// The evidence line of a candidate: its evidence labels, or which step found it when there are none.
QString candidateEvidenceLine(const FileResolutionCandidate& candidate);

// The body of the first import question and of the replace confirmation.
QString importConfirmationText(const QString& fileName, const MorvaneLibraryImportPreview& preview);
QString replaceConfirmationText(const QString& fileName, const MorvaneLibraryImportPreview& preview);

// The sound volume (0...1) as the locale writes a percentage.
QString volumePercentText(double volume, const QLocale& locale = QLocale());

} // namespace morvane
