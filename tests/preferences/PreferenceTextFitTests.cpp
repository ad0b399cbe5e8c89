#include "PreferencesFixture.h"
#include "preferences/PreferenceControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <gtest/gtest.h>

namespace morvane {
namespace {

// What a reader needs around a text inside a button's frame, on either side.
constexpr int clearOfFrame = 8;

QString shownText(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\u0001")).remove(QLatin1Char('&'));
    return text.replace(QChar(1), QLatin1Char('&'));
}

// The width each kind of control needs to show its whole text, worked out from the font and the
// style's own indicator metrics rather than from the control's size hint.
std::optional<int> neededWidth(QWidget* widget)
{
    const QFontMetrics metrics = widget->fontMetrics();
    const QStyle* style = widget->style();
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        int content = metrics.horizontalAdvance(shownText(button->text()));
        if (!button->icon().isNull())
            content += button->iconSize().width();
        return content + 2 * clearOfFrame;
    }
    if (auto* radio = qobject_cast<QRadioButton*>(widget))
        return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio) +
               metrics.horizontalAdvance(shownText(radio->text()));
    if (auto* check = qobject_cast<QCheckBox*>(widget))
        return style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, check) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, check) +
               metrics.horizontalAdvance(shownText(check->text()));
    auto* label = qobject_cast<QLabel*>(widget);
    // A wrapping paragraph takes the lines it needs, and a path is shortened in its middle by design.
    if (!label || label->text().isEmpty() || label->wordWrap() || dynamic_cast<PathLabel*>(label))
        return std::nullopt;
    const QMargins margins = label->contentsMargins();
    return metrics.horizontalAdvance(label->text()) + margins.left() + margins.right();
}

// Every text of every page that is shown narrower than it needs, as "page: text (given < needed)".
QStringList cutTexts(test::PreferencesFixture& fx)
{
    QStringList cut;
    for (PreferenceSection section : allPreferenceSections) {
        fx.window->selectSection(section);
        QWidget* page = fx.window->sectionPage(section);
        QCoreApplication::processEvents();
        for (QWidget* widget : page->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(page))
                continue;
            const std::optional<int> needed = neededWidth(widget);
            if (needed && widget->width() < *needed) {
                const auto* button = qobject_cast<QAbstractButton*>(widget);
                const QString text = button ? button->text() : static_cast<QLabel*>(widget)->text();
                cut.append(QStringLiteral("%1: %2 (%3 < %4)")
                               .arg(rawValue(section), text)
                               .arg(widget->width())
                               .arg(*needed));
            }
        }
    }
    return cut;
}

class PreferenceTextFit : public testing::TestWithParam<int> {
protected:
    void SetUp() override { QApplication::setFont(enlarged(m_defaultFont, GetParam())); }
    void TearDown() override { QApplication::setFont(m_defaultFont); }

private:
    static QFont enlarged(QFont font, int points)
    {
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() + points);
        else
            font.setPixelSize(font.pixelSize() + points * 4 / 3);
        return font;
    }

    const QFont m_defaultFont = QApplication::font();
};

TEST_P(PreferenceTextFit, EveryLabelAndButtonShowsItsWholeTextWithItsMargins)
{
    test::PreferencesFixture fx;
    fx.window->show();
    const QStringList cut = cutTexts(fx);
    EXPECT_TRUE(cut.isEmpty()) << cut.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(DefaultAndTwoPointsLarger, PreferenceTextFit, testing::Values(0, 2));

} // namespace
} // namespace morvane
