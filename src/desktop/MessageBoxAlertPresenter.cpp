#include "MessageBoxAlertPresenter.h"

#include "DataText.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QList>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>

namespace morvane {

namespace {

QMessageBox::Icon iconOf(Alert::Style style)
{
    switch (style) {
    case Alert::Style::informational:
        return QMessageBox::Information;
    case Alert::Style::warning:
        return QMessageBox::Warning;
    case Alert::Style::critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// A button title as typed ("&" is not a mnemonic marker in it); a destructive act's button gets its
// first letter as its key (Alt and the letter), since Return does not reach it.
QString buttonText(const QString& title, bool withKey)
{
    QString text = menuText(title);
    if (withKey) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isLetter()) {
                text.insert(i, u'&');
                break;
            }
        }
    }
    return text;
}

// The desktop's own icon for the alert's kind, as its other dialogs show it; Qt's built-in drawing
// where the icon theme has none.
void useThemeIcon(QMessageBox& box, Alert::Style style)
{
    const QString name = style == Alert::Style::informational ? QStringLiteral("dialog-information")
                         : style == Alert::Style::warning     ? QStringLiteral("dialog-warning")
                                                              : QStringLiteral("dialog-error");
    if (!QIcon::hasThemeIcon(name))
        return;
    const int extent = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
    box.setIconPixmap(QIcon::fromTheme(name).pixmap(extent, extent));
}

} // namespace

int MessageBoxAlertPresenter::present(const Alert& alert)
{
    QMessageBox box(iconOf(alert.style), QGuiApplication::applicationDisplayName(), alert.messageText);
    box.setInformativeText(alert.informativeText);
    useThemeIcon(box, alert.style);
    // An alert may answer something another application did (a link followed there): it must not
    // open behind that application's window, where the user would never see it.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    // Texts often carry names and paths the user typed; none of it is markup. The box's text format
    // reaches its main text only: the informative text's label guesses on its own.
    box.setTextFormat(Qt::PlainText);
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);

    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    QList<QPushButton*> buttons;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        // One role for all, so that the platform's button layout does not reorder them.
        QPushButton* button = box.addButton(
            buttonText(titles[i], alert.destructive && i != alert.escapeButton()), QMessageBox::AcceptRole);
        buttons.append(button);
    }
    const int defaultIndex = alert.defaultButton();
    const int escapeIndex = alert.escapeButton();
    if (defaultIndex >= 0) {
        // The focus starts there too: a focused button takes over Return in a dialog.
        box.setDefaultButton(buttons[defaultIndex]);
        buttons[defaultIndex]->setFocus();
    } else {
        // No default: Return presses nothing until the user moves to a button.
        for (QPushButton* button : buttons)
            button->setAutoDefault(false);
    }
    if (escapeIndex >= 0)
        box.setEscapeButton(buttons[escapeIndex]);

    box.exec();
    if (const qsizetype chosen = buttons.indexOf(box.clickedButton()); chosen >= 0)
        return int(chosen);
    // Ended without a click: the application is quitting.
    return escapeIndex;
}

} // namespace morvane
