#include "preferences/HotkeyRecorder.h"
#include "preferences/PreferenceColors.h"
#include "preferences/PreferenceRules.h"
#include "preferences/PreferenceSection.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

namespace colors = PreferenceColors;

TEST(PreferenceRulesTests, ConfidenceBadgesSplitAtTheirBoundsAndRoundHalvesUp)
{
    const struct {
        double confidence;
        const char* text;
        AppearanceColor color;
    } cases[] = {
        {1.0, "High 100%", colors::green},      {0.95, "High 95%", colors::green},
        {0.949, "Medium 95%", colors::orange},  {0.7, "Medium 70%", colors::orange},
        {0.6999, "Low 70%", colors::secondary}, {0.125, "Low 13%", colors::secondary},
        {0.0, "Low 0%", colors::secondary},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.confidence);
        const ConfidenceBadge badge = confidenceBadge(c.confidence);
        EXPECT_EQ(badge.text, QString::fromUtf8(c.text));
        EXPECT_EQ(badge.color, c.color);
    }
}

TEST(PreferenceRulesTests, MessagesAndStatusesTakeTheirInkFromTheExactText)
{
    EXPECT_EQ(outcomeMessageStyle("Could not import library: bad"), MessageStyle::error);
    EXPECT_EQ(outcomeMessageStyle("Could not verify erase: 1 link(s) and 0 relation(s) remain locally."),
              MessageStyle::error);
    EXPECT_EQ(outcomeMessageStyle("could not be read"), MessageStyle::secondary);
    EXPECT_EQ(outcomeMessageStyle("Database is not available."), MessageStyle::secondary);
    EXPECT_NE(messageColor(MessageStyle::warning), messageColor(MessageStyle::error));

    const QString calendarGranted = "Full access", contactsGranted = "Authorized";
    EXPECT_EQ(accessStatusColor("Full access", calendarGranted), colors::green);
    EXPECT_EQ(accessStatusColor("Full access", contactsGranted), colors::secondary);
    EXPECT_EQ(accessStatusColor("Restricted", contactsGranted), colors::red);
    EXPECT_EQ(accessStatusColor("Requesting...", calendarGranted), colors::blue);
    EXPECT_EQ(accessStatusColor("Requesting…", calendarGranted), colors::secondary);
    EXPECT_EQ(accessStatusColor("", calendarGranted), colors::secondary);

    // A sync that failed reads as a fault, one waiting for an account as something to do.
    EXPECT_EQ(syncStatusColor(SyncStatus::notSignedIn), colors::orange);
    EXPECT_EQ(syncStatusColor(SyncStatus::error), colors::red);
    EXPECT_EQ(syncStatusColor(SyncStatus::upToDate), colors::green);

    EXPECT_EQ(preferenceSection("General"), std::nullopt);
    EXPECT_EQ(preferenceSection("files"), PreferenceSection::files);
}

TEST(PreferenceRulesTests, ConfirmationTextsKeepTheFileNameAsItIs)
{
    const MorvaneLibraryImportPreview preview{{}, 12, 5, 3, 1};
    const QStringList paragraphs = importConfirmationText("Backup %1.json", preview).split("\n\n");
    ASSERT_EQ(paragraphs.size(), 3);
    EXPECT_EQ(paragraphs[0], "Backup %1.json contains 12 link(s) and 5 relation(s).");
    EXPECT_EQ(replaceConfirmationText("%2.json", preview),
              "This removes the current local library before importing 12 link(s) and 5 relation(s) from "
              "%2.json. This cannot be undone except by importing another backup.");
    EXPECT_EQ(volumePercentText(0.3, QLocale(QLocale::English)), "30%");
}

TEST(PreferenceRulesTests, CandidatesWithoutEvidenceNameTheStepThatFoundThem)
{
    FileResolutionCandidate candidate;
    candidate.source = FileResolutionCandidateSource::knownRootScan;
    EXPECT_EQ(candidateEvidenceLine(candidate), "knownRootScan");
    candidate.evidence = {FileResolutionEvidence::filenameMatch};
    EXPECT_EQ(candidateEvidenceLine(candidate), candidate.evidenceSummary());
}

TEST(PreferenceRulesTests, RecordedKeysMapToTheStoredKeyNumbering)
{
    const struct {
        int qtKey;
        quint32 keysym;
        std::optional<quint16> keyCode;
    } cases[] = {
        {Qt::Key_L, 0, 37},      // offscreen and synthetic events carry no keysym
        {Qt::Key_L, 0x4c, 37},   // a shifted letter reports the upper-case keysym
        {Qt::Key_1, 0xffb1, 83}, // the keypad's 1, told apart by its keysym
        {Qt::Key_F1, 0, 122},     {Qt::Key_Space, 0x20, 49},
        {Qt::Key_Escape, 0, 53},  {Qt::Key_Super_L, 0xffeb, 55},
        {Qt::Key_Control, 0, 59}, {Qt::Key_Launch0, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.qtKey);
        EXPECT_EQ(hotkeyKeyCode(c.qtKey, c.keysym), c.keyCode);
    }
}

} // namespace
} // namespace morvane
