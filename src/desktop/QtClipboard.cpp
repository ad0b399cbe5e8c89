#include "desktop/QtClipboard.h"

#include "foundation/LocatorUrl.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace morvane {

namespace {

// The file a copied text names when it is one local file URL (a PDF link's page fragment dropped);
// nothing for any other text.
std::optional<QByteArray> fileUrlOf(const QString& text)
{
    const std::optional<LocatorUrl> url = LocatorUrl::parse(text);
    if (!url || !url->localFilePath())
        return std::nullopt;
    return url->textWithFragment(std::nullopt).toUtf8();
}

} // namespace

void QtClipboard::setText(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    auto* data = new QMimeData;
    data->setText(text);
    // A copied file link is also offered as the file itself, so a file manager pastes the file and
    // not a text file holding its address: "text/uri-list" for most of them, and GNOME's own format
    // for the file managers that read only that one.
    if (const std::optional<QByteArray> url = fileUrlOf(text)) {
        data->setData(QStringLiteral("text/uri-list"), *url + "\r\n");
        data->setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + *url);
    }
    clipboard->setMimeData(data, QClipboard::Clipboard);
}

} // namespace morvane
