#include "ScriptedAlertPresenter.h"
#include "TestFiles.h"
#include "app/MorvaneApp.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

TEST(MorvaneApp, ALibraryThatCannotBeOpenedIsExplainedInOneAlertAndEndsTheStart)
{
    // A plain file where the library's folder belongs.
    const QString folder = writeFile(qEnvironmentVariable("XDG_DATA_HOME") + "/Morvane", {});

    const auto alerts = std::make_shared<ScriptedAlertPresenter>();
    MorvaneApp app(alerts);
    EXPECT_FALSE(app.start());
    EXPECT_EQ(app.linkStore(), nullptr);
    ASSERT_EQ(alerts->shown.size(), 1);
    const Alert& alert = alerts->shown.constFirst();
    EXPECT_EQ(alert.style, Alert::Style::critical);
    EXPECT_EQ(alert.messageText, "Morvane could not start.");
    EXPECT_TRUE(alert.informativeText.contains(folder)) << alert.informativeText.toStdString();
    EXPECT_EQ(alert.buttons, QStringList());
}
