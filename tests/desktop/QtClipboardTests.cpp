#include "desktop/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

namespace morvane {
namespace {

// A file link is offered to file managers as the file; any other text stays plain text alone.
TEST(QtClipboard, AFileLinkIsAlsoTheFileAndOtherTextsArePlainText)
{
    struct Case {
        QString text;
        QByteArray uriList;
    };
    for (const Case& c : {
             Case{"file:///home/u/a%20b.pdf#page=3", "file:///home/u/a%20b.pdf\r\n"},
             Case{"file:///home/u/Folder/", "file:///home/u/Folder/\r\n"},
             Case{"https://example.com/a", {}},
             Case{"[Title](file:///home/u/a.pdf)", {}},
             Case{"file://other-host/a.pdf", {}},
         }) {
        QtClipboard().setText(c.text);
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->text(), c.text);
        EXPECT_EQ(data->data("text/uri-list"), c.uriList) << c.text.toStdString();
        EXPECT_EQ(data->hasFormat("x-special/gnome-copied-files"), !c.uriList.isEmpty());
    }
}

} // namespace
} // namespace morvane
