#include "desktop/MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace morvane;

namespace {

// Runs the answer on the message box once it is up, from inside its modal loop.
void whenShown(std::function<void(QMessageBox&)> answer)
{
    QTimer::singleShot(0, [answer = std::move(answer)] {
        QMessageBox* box = nullptr;
        if (!QTest::qWaitFor(
                [&] { return (box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); }, 10000))
            return;
        box->activateWindow();
        (void)QTest::qWaitForWindowActive(box); // keys reach the focus and the shortcuts of the active window
        answer(*box);
        // An answer that did not close the box fails its test instead of hanging it.
        QTimer::singleShot(5000, box, [box] { box->done(-1); });
    });
}

} // namespace

TEST(MessageBoxAlertPresenter, ShowsTextsAsTypedAndAnswersTheIndexOfTheChosenButton)
{
    MessageBoxAlertPresenter presenter;
    const Alert alert{Alert::Style::warning,
                      QStringLiteral("Delete <b>“Plan”</b>?"),
                      QStringLiteral("<i>x</i> & y"),
                      {"Delete", "Cancel", "Keep"}};
    QStringList labels;
    whenShown([&](QMessageBox& box) {
        for (const QLabel* label : box.findChildren<QLabel*>())
            if (!label->text().isEmpty() && label->textFormat() == Qt::PlainText)
                labels << label->text();
        for (QAbstractButton* button : box.buttons())
            if (button->text() == "Keep")
                button->click();
    });
    EXPECT_EQ(presenter.present(alert), 2);
    labels.sort();
    EXPECT_EQ(labels, (QStringList{"<i>x</i> & y", "Delete <b>“Plan”</b>?"}));

    // Escape chooses Cancel; Return the first button.
    whenShown([](QMessageBox&) { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    EXPECT_EQ(presenter.present(alert), 1);
    whenShown([](QMessageBox&) { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Return); });
    EXPECT_EQ(presenter.present(alert), 0);

    // Ended without a choice, as when the application quits: what Escape chooses, else nothing.
    whenShown([](QMessageBox& box) { box.reject(); });
    EXPECT_EQ(presenter.present(alert), 1);
    whenShown([](QMessageBox& box) { box.reject(); });
    EXPECT_EQ(presenter.present({Alert::Style::warning, "Delete?", {}, {"Delete", "Keep"}}), -1);
}

TEST(MessageBoxAlertPresenter, ADestructiveActIsChosenByItsButtonOrItsKeyNeverByReturn)
{
    MessageBoxAlertPresenter presenter;
    const Alert erase{Alert::Style::warning, "Erase all?", {}, {"Erase Everything", "Cancel"}, true};
    // A key as the user presses it: to whatever has the focus.
    const auto press = [](QMessageBox& box, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QWidget* focused = box.focusWidget() ? box.focusWidget() : &box;
        QTest::keyClick(focused, key, modifiers);
    };
    whenShown([&](QMessageBox& box) { press(box, Qt::Key_Return); });
    EXPECT_EQ(presenter.present(erase), 1);
    whenShown([&](QMessageBox& box) { press(box, Qt::Key_Escape); });
    EXPECT_EQ(presenter.present(erase), 1);

    // Its own key, shown underlined on it; or Return once the focus was moved onto it.
    whenShown([&](QMessageBox& box) {
        EXPECT_EQ(box.buttons().constFirst()->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
        press(box, Qt::Key_E, Qt::AltModifier);
    });
    EXPECT_EQ(presenter.present(erase), 0);
    whenShown([&](QMessageBox& box) {
        box.buttons().constFirst()->setFocus();
        press(box, Qt::Key_Return);
    });
    EXPECT_EQ(presenter.present(erase), 0);
}
