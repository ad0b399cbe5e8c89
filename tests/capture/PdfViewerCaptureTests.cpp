#include "FakeWorkspace.h"
#include "TestFiles.h"

#include "capture/DesktopApplicationContextProvider.h"

#include "capture/PdfWindowDocument.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

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

TEST(DesktopApplicationProvider, AnswersFromTheReadOfTheWindowAsItStillIs)
{
    auto workspace = std::make_shared<FakeWorkspace>();
    // Counted on the heap, atomically: the reads run on pool threads.
    const auto reads = std::make_shared<std::atomic<int>>(0);
    DesktopApplicationContextProvider provider(
        "PDF Viewer", workspace, [](const QString& identifier) { return identifier == "Zathura"; },
        [reads](const DesktopWindow& window) {
            ++*reads;
            return std::optional(
                CapturedContext{window.title, "file:///a.pdf", LinkType::file, "Zathura", {}});
        });
    const auto poll = [&] {
        provider.refresh().waitForFinished();
        return provider.captureContext();
    };
    workspace->activate("Zathura", 7, "a.pdf");
    EXPECT_EQ(provider.captureContext(), std::nullopt) << "not read yet";
    EXPECT_EQ(poll()->title, "a.pdf");
    workspace->retitle("b.pdf");
    EXPECT_EQ(provider.captureContext(), std::nullopt) << "another document since the read";
    EXPECT_EQ(poll()->title, "b.pdf");
    workspace->activateOwn();
    EXPECT_EQ(poll()->title, "b.pdf") << "the window behind the panel";
    workspace->activate("Other", 8, "b.pdf");
    EXPECT_EQ(poll(), std::nullopt);
    EXPECT_EQ(*reads, 3);

    // The viewer closed, and the display gave its window's id to the next one opened on the same
    // document: what the closed one showed is not this one's.
    workspace->activate("Zathura", 7, "c.pdf");
    EXPECT_EQ(poll()->title, "c.pdf");
    const quint32 closedWindow = workspace->window->windowId;
    workspace->activate("Zathura", 9, "c.pdf");
    workspace->window->windowId = workspace->beforeOwn->windowId = closedWindow;
    EXPECT_EQ(provider.captureContext(), std::nullopt);
}

TEST(DesktopApplicationProvider, AReadThatEndsLateNeverReplacesOneStartedAfterIt)
{
    auto workspace = std::make_shared<FakeWorkspace>();
    workspace->activate("Zathura", 7, "a.pdf");
    // The first read answers page 4 only after the second (page 5) has ended. What the reads share is
    // on the heap, not on the test's stack: a pool thread never touches a frame the test has left.
    struct Reads {
        std::promise<void> secondEnded;
        std::shared_future<void> released = secondEnded.get_future().share();
        std::atomic<int> started = 0;
    };
    const auto reads = std::make_shared<Reads>();
    DesktopApplicationContextProvider provider(
        "PDF Viewer", workspace, [](const QString& identifier) { return identifier == "Zathura"; },
        [reads](const DesktopWindow&) {
            const int page = ++reads->started == 1 ? 4 : 5;
            if (page == 4)
                reads->released.wait();
            return std::optional(CapturedContext{
                "a.pdf", QString("file:///a.pdf#page=%1").arg(page), LinkType::file, "Zathura", {}});
        });
    QFuture<void> slow = provider.refresh();
    while (reads->started < 1)
        std::this_thread::yield();
    provider.refresh().waitForFinished();
    reads->secondEnded.set_value();
    slow.waitForFinished();
    EXPECT_EQ(provider.captureContext()->locator, "file:///a.pdf#page=5");
}
