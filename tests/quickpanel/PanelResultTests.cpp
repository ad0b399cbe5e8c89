#include "QuickPanelTestSupport.h"
#include "capture/CalendarEventReference.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

TEST(PanelResult, SubtitlesByWhatTheLocatorIs)
{
    const QString event = "morvane-calendar://event?id=E1&title=Standup&start=1714550400&end=1714552200";
    const QString card = "morvane-contact://contact?id=C1&name=Ann";
    const std::pair<CapturedContext, QString> captures[] = {
        {{"Standup", event, LinkType::calendar, "Calendar", {}},
         CalendarEventReference::fromLocator(event)->subtitle()},
        {{"Ann", card + "&organization=Acme", LinkType::contact, "Contacts", {}}, "Acme"},
        {{"Ann", card + "&organization=", LinkType::contact, "Contacts", {}}, card + "&organization="},
        {{"Page", "https://a.example/x", LinkType::web, "Safari", {}}, "https://a.example/x"},
    };
    for (const auto& [context, subtitle] : captures)
        EXPECT_EQ(PanelResult::capture(context).subtitle(), subtitle) << context.locator.toStdString();
    EXPECT_EQ(PanelResult::capture(captures[3].first).id(), "capture-https://a.example/x");

    LinkItem file = webLink("Report");
    file.type = LinkType::file;
    file.url = "file:///old/Report%20A.pdf";
    EXPECT_EQ(PanelResult::link(file).subtitle(), "/old/Report A.pdf");
    file.lastKnownPath = "/Users/a/Report A.pdf";
    EXPECT_EQ(PanelResult::link(file).subtitle(), "/Users/a/Report A.pdf");
}

TEST(PanelResult, AFileMatchRowStandsForItsLink)
{
    const LinkItem report = webLink("Report");
    FileMatchCandidate candidate;
    candidate.item = report;
    candidate.selectedURL = "file:///Users/a/Report%20A.pdf";
    candidate.confidence = FileMatchCandidate::Confidence::sameName;
    const PanelResult row = PanelResult::fileMatch(candidate);
    EXPECT_EQ(row.id(), "file-match-" + uuidString(report.id) + "-sameName");
    EXPECT_EQ(row.title(), "Press Enter to add: Report");
    EXPECT_EQ(row.subtitle(), "Same name: /Users/a/Report A.pdf");
    EXPECT_EQ(row.linkItem(), report);
    EXPECT_FALSE(PanelResult::capture({}).linkItem());
    EXPECT_NE(PanelResult::link(report), row);
}
