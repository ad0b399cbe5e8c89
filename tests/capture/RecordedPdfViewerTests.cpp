#include "FakeSessionBus.h"
#include "RecordedAccessibilityTree.h"
#include "TestFiles.h"

#include "capture/PdfViewerReader.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "foundation/LocatorUrl.h"

#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

// Atril as recorded showing a five-page PDF at page 3: its document view holds the page, as Evince's
// does, and the file is the one the process holds open that the window's title names.
TEST(RecordedPdfViewers, AtrilIsReadAsEvinceIs)
{
    const QString pdf = writeFile("Docs/Five Pages.pdf", "%PDF-1.4\n<< /Title (Quarterly Figures) >>\n");
    const QString other = writeFile("Docs/Other.pdf", "%PDF-1.4\n");
    QFile held(other), shown(pdf);
    ASSERT_TRUE(held.open(QIODevice::ReadOnly));
    ASSERT_TRUE(shown.open(QIODevice::ReadOnly));
    auto tree = std::make_shared<AccessibilityTree>();
    ASSERT_TRUE(replayRecordedTree(*tree, QStringLiteral(MORVANE_RECORDED_TREES "/atril.json"), getpid()));
    auto identity = std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
    const PdfViewerReader reader(std::make_shared<FakeSessionBus>(), tree, identity);

    const DesktopWindow window{
        1, {QStringLiteral("atril"), getpid()}, QStringLiteral("Five Pages.pdf — Quarterly Figures"), {}, {}};
    const std::optional<CapturedContext> context = reader.read(PdfViewer::atril, window);
    ASSERT_TRUE(context);
    EXPECT_EQ(context->locator, LocatorUrl::fileUrlText(pdf, false) + "#page=3");
    EXPECT_EQ(context->sourceApp, "Atril");
    EXPECT_EQ(tree->offThreadReads, 0);
}
