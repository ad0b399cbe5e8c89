#include "FakeSessionBus.h"
#include "TestFiles.h"

#include "platform/FileManagerBus.h"
#include "platform/PdfViewerBus.h"
#include "platform/ProcessOpenFiles.h"

#include <QDir>
#include <QFile>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <limits>

#include <unistd.h>

using namespace morvane;
using namespace morvane::test;

namespace {

constexpr qint64 viewerPid = 4242;
const BusObject zathura{"org.pwmt.zathura.PID-4242", "/org/pwmt/zathura", "org.pwmt.zathura"};
const BusObject okular{"org.kde.okular-4242", "/okular", "org.kde.okular"};
const BusObject qpdfview{"local.qpdfview", "/MainWindow", "local.qpdfview.MainWindow"};
const BusObject fileManager{"org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                            "org.freedesktop.FileManager1"};

} // namespace

TEST(PdfViewerBus, EachViewerAnswersItsPathAndItsPageCountedFromOne)
{
    FakeSessionBus bus;
    bus.own(zathura.service, viewerPid);
    bus.answer(zathura, "filename", QString("/home/a/Report.pdf"));
    bus.answer(zathura, "pagenumber", 2U);
    bus.own(okular.service, viewerPid);
    bus.answer(okular, "currentDocument", QString("file:///home/a/My%20Book.pdf"));
    bus.answer(okular, "currentPage", 3U);
    bus.own(qpdfview.service, viewerPid);
    bus.answer(qpdfview, "currentPage", 7);

    EXPECT_EQ(askPdfViewer(bus, PdfViewerInterface::zathura, viewerPid),
              (PdfViewerAnswer{"/home/a/Report.pdf", 3}));
    EXPECT_EQ(askPdfViewer(bus, PdfViewerInterface::okular, viewerPid),
              (PdfViewerAnswer{"/home/a/My Book.pdf", 3}));
    EXPECT_EQ(askPdfViewer(bus, PdfViewerInterface::qpdfview, viewerPid), (PdfViewerAnswer{std::nullopt, 7}));
}

TEST(PdfViewerBus, AViewerThatDoesNotAnswerOrANameOfAnotherProcessGivesNothing)
{
    FakeSessionBus bus;
    bus.own(zathura.service, viewerPid); // owned, but nothing answers on it
    EXPECT_EQ(askPdfViewer(bus, PdfViewerInterface::zathura, viewerPid), std::nullopt);
    EXPECT_EQ(bus.questions(), 2) << "no further question after one went unanswered";

    // Another qpdfview instance (or anything else) holds the one name: its page is not ours.
    bus.own(qpdfview.service, 999);
    bus.answer(qpdfview, "currentPage", 7);
    EXPECT_EQ(askPdfViewer(bus, PdfViewerInterface::qpdfview, viewerPid), std::nullopt);
    bus.own(okular.service, 999);
    bus.answer(okular, "currentDocument", QString("/home/a/b.pdf"));
    EXPECT_EQ(askPdfViewer(bus, PdfViewerInterface::okular, viewerPid), std::nullopt);

    // A page the viewer's own count cannot hold, and a relative path, are left out.
    bus.own(okular.service, viewerPid);
    bus.answer(okular, "currentDocument", QString("b.pdf"));
    bus.answer(okular, "currentPage", 0U);
    EXPECT_EQ(askPdfViewer(bus, PdfViewerInterface::okular, viewerPid), (PdfViewerAnswer{}));
}

TEST(PdfViewerBus, PageNumbersNoDocumentHasAreRefusedBeforeTheyAreCounted)
{
    FakeSessionBus bus;
    bus.own(zathura.service, viewerPid);
    bus.answer(zathura, "filename", QString("/home/a/Report.pdf"));
    // Counted from 0, the largest signed answer would overflow once made a page counted from 1.
    const QVariant hostile[] = {QVariant(std::numeric_limits<qint64>::max()),
                                QVariant(std::numeric_limits<quint64>::max()),
                                QVariant(std::numeric_limits<quint32>::max()),
                                QVariant(qint64(-1)),
                                QVariant(1e300),
                                QVariant(2.5),
                                QVariant(QString("9223372036854775807"))};
    for (const QVariant& page : hostile) {
        bus.answer(zathura, "pagenumber", page);
        EXPECT_EQ(askPdfViewer(bus, PdfViewerInterface::zathura, viewerPid),
                  (PdfViewerAnswer{"/home/a/Report.pdf", std::nullopt}))
            << page.toString().toStdString();
    }
    bus.answer(zathura, "pagenumber", QVariant(qulonglong(4)));
    EXPECT_EQ(askPdfViewer(bus, PdfViewerInterface::zathura, viewerPid),
              (PdfViewerAnswer{"/home/a/Report.pdf", 5}));
}

TEST(FileManagerBus, TheWindowsFolderComesFromItsOwnEntryOfItsOwnProcess)
{
    FakeSessionBus bus;
    const FileManagerWindow window{viewerPid, "/org/gnome/Nautilus/window/2", "Café"};
    const QVariantMap windows{
        {"/org/gnome/Nautilus/window/1", QVariantList{"file:///home/a"}},
        {"/org/gnome/Nautilus/window/2", QVariantList{"file:///home/a/Caf%C3%A9/"}},
        {"/org/gnome/Nautilus/window/3", QVariantList{"file:///home/a/x", "file:///home/a/Caf%C3%A9"}},
        {"/org/gnome/Nautilus/window/4", QVariantList{"trash:///"}},
        {"/org/gnome/Nautilus/window/5", QVariantList{"file:///home/a/x", "file:///home/b/x"}},
    };
    bus.answer(fileManager, "OpenWindowsWithLocations", windows);
    EXPECT_EQ(fileManagerWindowFolder(bus, window), std::nullopt) << "nobody owns the name";

    // Another file manager took the name first: its windows are its own, and the window's process is
    // asked on its own connection, the only one of its connections that serves the interface.
    bus.own(fileManager.service, 77);
    bus.own(":1.7", 77);
    const BusObject otherConnection{":1.7", fileManager.path, fileManager.interface};
    bus.answer(otherConnection, "OpenWindowsWithLocations",
               QVariantMap{{"/org/gnome/Nautilus/window/2", QVariantList{"file:///elsewhere"}}});
    EXPECT_EQ(fileManagerWindowFolder(bus, window), std::nullopt) << "another file manager owns it";
    bus.own(":1.20", viewerPid);
    bus.own(":1.21", viewerPid);
    EXPECT_EQ(fileManagerWindowFolder(bus, window), std::nullopt) << "its connections do not answer";
    bus.answer({":1.21", fileManager.path, fileManager.interface}, "OpenWindowsWithLocations", windows);
    EXPECT_EQ(fileManagerWindowFolder(bus, window), "/home/a/Café");
    bus.own(fileManager.service, viewerPid);

    struct Case {
        QString path;
        std::optional<QString> folder;
    };
    const Case cases[] = {
        {"/org/gnome/Nautilus/window/2", "/home/a/Café"},
        {"/org/gnome/Nautilus/window/3", "/home/a/Café"}, // tabs: the one the title names
        {"/org/gnome/Nautilus/window/4", std::nullopt},   // no local folder
        {"/org/gnome/Nautilus/window/5", std::nullopt},   // the title names both tabs
        {"/org/gnome/Nautilus/window/9", std::nullopt},   // not listed
    };
    for (const Case& c : cases) {
        FileManagerWindow asked = window;
        asked.objectPath = c.path;
        asked.title = c.path.endsWith('5') ? "x" : window.title;
        EXPECT_EQ(fileManagerWindowFolder(bus, asked), c.folder) << c.path.toStdString();
    }
}

TEST(ProcessOpenFiles, TheProcessesOpenFilesOfTheExtensionEachOnce)
{
    const QString pdf = writeFile("Docs/Report.PDF", "%PDF-1.4");
    const QString other = writeFile("Docs/notes.txt", "x");
    QFile first(pdf), second(pdf), third(other);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly) &&
                third.open(QIODevice::ReadOnly));
    EXPECT_EQ(openFilesOfProcess(getpid(), "pdf"), QStringList{pdf});

    const QString gone = writeFile("Docs/gone.pdf", "%PDF-1.4");
    QFile deleted(gone);
    ASSERT_TRUE(deleted.open(QIODevice::ReadOnly));
    QFile::remove(gone);
    EXPECT_EQ(openFilesOfProcess(getpid(), "pdf"), QStringList{pdf}) << "a deleted file is no document";
    EXPECT_TRUE(openFilesOfProcess(0, "pdf").isEmpty());
}
