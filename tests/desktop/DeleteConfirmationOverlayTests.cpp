#include "DesktopTestSupport.h"

#include "desktop/DeleteConfirmationOverlay.h"
#include "desktop/TextStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace morvane {
namespace {

const QColor windowColour(200, 120, 60);

// A window of one flat colour with a button in its top-left corner, under the overlay's backdrop.
class Window : public QWidget {
public:
    Window()
    {
        resize(640, 420);
        content = new QPushButton(QStringLiteral("Content"), this);
        content->setGeometry(0, 0, 120, 40);
        QObject::connect(content, &QPushButton::clicked, [this] { ++contentClicks; });
    }

    QPushButton* content;
    int contentClicks = 0;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), windowColour); }
};

struct Confirmation {
    int confirmed = 0;
    int cancelled = 0;

    DeleteConfirmationOverlay* showOver(QWidget& window, const QString& title,
                                        const AppearanceService* appearance = nullptr)
    {
        return new DeleteConfirmationOverlay(
            QStringLiteral("Delete Link?"), title,
            QStringLiteral("This removes the link and all of its local relations."), [this] { ++confirmed; },
            [this] { ++cancelled; }, appearance, &window);
    }
};

TEST(DeleteConfirmationOverlay, DimsTheWholeWindowAndShowsACardOfTheAppearance)
{
    for (const Appearance appearance : {Appearance::light, Appearance::dark}) {
        const auto service = test::appearanceService(appearance);
        Window window;
        Confirmation confirmation;
        confirmation.showOver(window, QStringLiteral("Quarterly report"), service.get());
        window.resize(700, 480); // the overlay follows the window
        const QImage image = window.grab().toImage();

        for (const QPoint corner : {QPoint(300, 2), QPoint(697, 2), QPoint(2, 477), QPoint(697, 477)}) {
            const QColor dimmed = image.pixelColor(corner);
            EXPECT_NEAR(dimmed.red(), 0.78 * windowColour.red(), 1.0);
            EXPECT_NEAR(dimmed.green(), 0.78 * windowColour.green(), 1.0);
            EXPECT_NEAR(dimmed.blue(), 0.78 * windowColour.blue(), 1.0);
        }
        // The card's middle, right of its texts.
        const qreal card = image.pixelColor(350 + 160, 240).lightnessF();
        if (appearance == Appearance::light)
            EXPECT_GT(card, 0.85);
        else
            EXPECT_LT(card, 0.25);
    }
}

TEST(DeleteConfirmationOverlay, ATitleThatLooksLikeMarkupIsDrawnAsTyped)
{
    const QString title = QStringLiteral("<b>&x");
    Window withoutTitle;
    Window withTitle;
    Confirmation confirmation;
    confirmation.showOver(withoutTitle, QString());
    confirmation.showOver(withTitle, title);
    const QRect drawn = test::differenceBounds(withTitle.grab().toImage(), withoutTitle.grab().toImage());

    // The same text drawn as plain text, dark on white.
    QImage reference(200, 60, QImage::Format_ARGB32_Premultiplied);
    reference.fill(Qt::white);
    QImage plain = reference;
    QPainter painter(&plain);
    painter.setFont(textFont(TextStyle::subheadline));
    painter.setPen(Qt::black);
    painter.drawText(QPoint(10, 30), title);
    painter.end();
    const QRect expected = test::differenceBounds(plain, reference);

    ASSERT_FALSE(drawn.isNull());
    EXPECT_NEAR(drawn.width(), expected.width(), 2);
    EXPECT_NEAR(drawn.height(), expected.height(), 2);
}

TEST(DeleteConfirmationOverlay, KeysAndButtonsDecideAndTheBackdropIgnoresClicks)
{
    Window window;
    Confirmation confirmation;
    DeleteConfirmationOverlay* overlay = confirmation.showOver(window, QStringLiteral("Notes"));
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(QApplication::focusWidget(), overlay);

    QTest::keyClick(overlay, Qt::Key_Return);
    QTest::keyClick(overlay, Qt::Key_Backspace, Qt::ControlModifier);
    QTest::keyClick(overlay, Qt::Key_Backspace, Qt::MetaModifier);
    QTest::keyClick(overlay, Qt::Key_Backspace);
    QTest::keyClick(overlay, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(confirmation.confirmed, 3);
    QTest::keyClick(overlay, Qt::Key_Escape);
    EXPECT_EQ(confirmation.cancelled, 1);

    // Clicks go where the pointer is, as from the window system.
    QWindow* handle = window.windowHandle();
    QTest::mouseClick(handle, Qt::LeftButton, {}, window.content->geometry().center());
    QTest::mouseClick(handle, Qt::LeftButton, {}, QPoint(600, 400));
    EXPECT_EQ(window.contentClicks, 0);
    EXPECT_EQ(confirmation.confirmed, 3);
    EXPECT_EQ(confirmation.cancelled, 1);

    for (QPushButton* button : overlay->findChildren<QPushButton*>())
        QTest::mouseClick(handle, Qt::LeftButton, {}, button->geometry().center());
    EXPECT_EQ(confirmation.confirmed, 4);
    EXPECT_EQ(confirmation.cancelled, 2);
}

} // namespace
} // namespace morvane
