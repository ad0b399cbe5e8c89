#include "desktop/DataText.h"

#include <QKeySequence>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(DataText, TooltipsAndMenuItemsShowDataAsTyped)
{
    for (const QString& text : {QStringLiteral("<b>&x"), QStringLiteral("R&D  \"draft\"\nsecond line"),
                                QStringLiteral("&lt;already escaped&gt;")}) {
        const QString tip = toolTipText(text);
        // A tooltip takes text for rich text when it looks like it; this must, or the escapes show.
        EXPECT_TRUE(Qt::mightBeRichText(tip)) << tip.toStdString();
        QTextDocument shown;
        shown.setHtml(tip);
        EXPECT_EQ(shown.toPlainText(), text);
    }

    EXPECT_EQ(QKeySequence::mnemonic(menuText(QStringLiteral("R&D & more"))), QKeySequence());
    EXPECT_EQ(menuText(QStringLiteral("R&D")), QStringLiteral("R&&D"));
}

} // namespace
} // namespace morvane
