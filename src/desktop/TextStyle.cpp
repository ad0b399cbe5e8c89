#include "TextStyle.h"

namespace morvane {

QFont systemFont(qreal pixelSize, QFont::Weight weight)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(pixelSize));
    font.setWeight(weight);
    return font;
}

QFont textFont(TextStyle style)
{
    switch (style) {
    case TextStyle::title2:
        return systemFont(17);
    case TextStyle::title3:
        return systemFont(15);
    case TextStyle::headline:
        return systemFont(13, QFont::DemiBold);
    case TextStyle::body:
        return systemFont(13);
    case TextStyle::subheadline:
        return systemFont(11);
    case TextStyle::caption:
    case TextStyle::caption2:
        return systemFont(10);
    }
    return systemFont(13);
}

} // namespace morvane
