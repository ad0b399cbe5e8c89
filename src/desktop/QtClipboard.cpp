#include "desktop/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace morvane {

void QtClipboard::setText(const QString& text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear(QClipboard::Clipboard);
    clipboard->setText(text, QClipboard::Clipboard);
}

} // namespace morvane
