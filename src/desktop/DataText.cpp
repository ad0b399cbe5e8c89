#include "DataText.h"

#include <QLabel>

namespace morvane {

void setPlainText(QLabel& label, const QString& text)
{
    label.setTextFormat(Qt::PlainText);
    label.setText(text);
}

QString toolTipText(const QString& text)
{
    // Escaped text alone has no tag, so the tooltip would take it for plain text and show the
    // entities themselves; the paragraph makes it rich text whose only content is the escaped data.
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

QString menuText(const QString& text)
{
    QString result = text;
    return result.replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString oneLineText(QString text)
{
    for (QChar& character : text) {
        if (character == u'\n' || character == u'\r' || character == u'\t' ||
            character == QChar::LineSeparator || character == QChar::ParagraphSeparator)
            character = u' ';
    }
    return text;
}

} // namespace morvane
