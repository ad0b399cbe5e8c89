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
    const std::pair<QString, QByteArray> cases[] = {
        {"file:///home/u/a%20b.pdf#page=3", "file:///home/u/a%20b.pdf\r\n"},
        {"file:///home/u/Folder/", "file:///home/u/Folder/\r\n"},
        {"[Title](file:///home/u/a.pdf)", {}},
        {"file://other-host/a.pdf", {}},
    };
    for (const auto& [text, uriList] : cases) {
        QtClipboard().setText(text);
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        EXPECT_EQ(data->text(), text);
        EXPECT_EQ(data->data("text/uri-list"), uriList) << text.toStdString();
        EXPECT_EQ(data->hasFormat("x-special/gnome-copied-files"), !uriList.isEmpty());
    }
}

} // namespace
} // namespace morvane
