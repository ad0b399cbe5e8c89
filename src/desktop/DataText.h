#pragma once

#include <QString>

class QLabel;

namespace morvane {

// Titles, paths and tags come from other applications and from the user, and Qt reads markup or
// mnemonics into text in several places: a label or tooltip shows "<b>&x" as bold "x", a menu item
// turns "&x" into an underlined shortcut. Every text built from data goes through one of these.

// Shows the text in the label as typed, never as rich text.
void setPlainText(QLabel& label, const QString& text);

// A tooltip that shows the text as typed: escaped, and marked as rich text so the escapes are read
// back rather than shown; spaces and line breaks kept.
QString toolTipText(const QString& text);

// A menu item text that shows every "&" instead of making a mnemonic of it.
QString menuText(const QString& text);

// The text for a place that draws one line, or wraps by itself: line breaks and tabs become spaces,
// as a text layout would otherwise draw them as nothing and glue the words on either side.
QString oneLineText(QString text);

} // namespace morvane
