#include "TestFiles.h"

#include "capture/PdfWindowDocument.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

TEST(PdfWindowDocument, TheWindowTitleChoosesAmongTheOpenPdfsOrNothing)
{
    const QString report =
        writeFile("a/Report.pdf", "%PDF-1.4\n1 0 obj << /Title (Old) >>\n"
                                  "9 0 obj << /Title (Annual \\(draft\\) \\351t\\351) >>\n");
    const QString data = writeFile("a/data.pdf", "%PDF-1.4\n<< /Title <FEFF00510034> >>");
    const QString other = writeFile("a/a.pdf", "%PDF-1.4\n<< /Title /Named >>");
    EXPECT_EQ(pdfDocumentTitle(report), "Annual (draft) été");
    EXPECT_EQ(pdfDocumentTitle(data), "Q4");
    EXPECT_EQ(pdfDocumentTitle(other), std::nullopt);

    struct Case {
        QStringList open;
        QString title;
        std::optional<QString> shown;
    };
    const Case cases[] = {
        {{report}, "anything", report},
        {{report, data}, "Report.pdf — Annual (draft) été", report},
        {{report, data, other}, "data.pdf [2/5]", data}, // "a.pdf" inside "data.pdf" is not a.pdf
        {{report, data}, "Q4 - qpdfview", data},         // titled by the document Title
        {{report, data}, "Report.pdf and data.pdf", std::nullopt},
        {{report, data}, "Untitled", std::nullopt},
        {{}, "Report.pdf", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pdfShownInWindow(c.open, c.title), c.shown) << c.title.toStdString();
}
