#include "Branding.h"

#include "desktop/Glyphs.h"

#include <QImageReader>
#include <QPainter>
#include <QPixmap>

namespace morvane {

QString appDisplayName()
{
    return QStringLiteral(MORVANE_DISPLAY_NAME);
}

QString versionText(const QString& name, const QString& version, const QString& build)
{
    const auto orQuestionMark = [](const QString& part) {
        return part.isEmpty() ? QStringLiteral("?") : part;
    };
    return QStringLiteral("%1 %2 (%3)").arg(name, orQuestionMark(version), orQuestionMark(build));
}

QString appVersion()
{
    return QStringLiteral(MORVANE_VERSION);
}

QString appVersionText()
{
    return versionText(appDisplayName(), QStringLiteral(MORVANE_VERSION),
                       QStringLiteral(MORVANE_BUILD_NUMBER));
}

QIcon applicationIcon()
{
    // Read as the PNG it is: a reader left to detect the format asks every image format plugin
    // first, loading each of them at start.
    QImageReader reader(QStringLiteral(":/icons/morvane.png"), "png");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

AppIconView::AppIconView(int size, QWidget* parent)
    : QWidget(parent)
    , m_size(size)
{
    setMinimumSize(size, size);
}

void AppIconView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QRect square(0, 0, m_size, m_size);
    square.moveCenter(rect().center());
    const QIcon icon = applicationIcon();
    if (!icon.isNull()) {
        painter.drawPixmap(square, icon.pixmap(QSize(512, 512)));
        return;
    }
    const double side = 0.55 * m_size;
    QRectF glyph(0, 0, side, side);
    glyph.moveCenter(QRectF(square).center());
    paintGlyph(painter, Glyph::chainLink, glyph, palette().color(QPalette::Highlight));
}

} // namespace morvane
