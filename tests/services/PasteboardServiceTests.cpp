#include "services/PasteboardService.h"

#include "FakeClipboard.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(PasteboardServiceTest, EachFormatWritesItsOneText)
{
    LinkItem web;
    web.id = QUuid("{0f8fad5b-d9cb-469f-a165-70867728950e}");
    web.title = "Notes [draft] v2]";
    web.url = "https://example.com/a?b=c";
    LinkItem pdf = web;
    pdf.title = "Paper";
    pdf.url = "file:///home/me/Paper.pdf#page=12";
    LinkItem untitled = pdf;
    untitled.title.clear();
    LinkItem webPdf = pdf;
    webPdf.url = "https://example.com/Paper.pdf#page=12";
    const QString app = "morvane://open/0F8FAD5B-D9CB-469F-A165-70867728950E";

    const struct {
        const LinkItem& item;
        CopyFormat format;
        QString text;
    } cases[] = {
        {web, CopyFormat::url, "https://example.com/a?b=c"},
        {web, CopyFormat::markdown, "[Notes [draft\\] v2\\]](https://example.com/a?b=c)"},
        {web, CopyFormat::morvane, app},
        {web, CopyFormat::morvaneMarkdown, "[Notes [draft\\] v2\\]](" + app + ")"},
        {pdf, CopyFormat::markdown, "[Paper, p. 12](file:///home/me/Paper.pdf#page=12)"},
        {untitled, CopyFormat::morvaneMarkdown, "[, p. 12](" + app + ")"},
        {webPdf, CopyFormat::markdown, "[Paper](https://example.com/Paper.pdf#page=12)"}, // no page
    };
    auto clipboard = std::make_shared<test::FakeClipboard>();
    PasteboardService service(clipboard);
    for (const auto& c : cases) {
        service.copy(c.item, c.format);
        EXPECT_EQ(clipboard->written.last(), c.text);
    }
    EXPECT_EQ(clipboard->written.size(), std::size(cases));
}

} // namespace
} // namespace morvane
