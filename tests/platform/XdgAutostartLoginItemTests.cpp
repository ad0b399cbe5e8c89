#include "platform/XdgAutostartLoginItem.h"

#include "TestFiles.h"
#include "TestValues.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

class XdgAutostartLoginItemTest : public ::testing::Test {
protected:
    const QString program = test::writeFile("my bin/morvane", {});
    const QString autostart = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart");
    XdgAutostartLoginItem item{program, autostart};
};

TEST_F(XdgAutostartLoginItemTest, TheEntryStartsThisProgramUntilRemovedOrSwitchedOff)
{
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    item.registerItem();
    const QByteArray ours = "[Desktop Entry]\nType=Application\nName=Morvane\nExec=\"" + program.toUtf8() +
                            "\"\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    QFile written(item.filePath());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), ours);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    EXPECT_EQ(XdgAutostartLoginItem().filePath(), item.filePath());

    test::writeFile(item.filePath(), ours + "[Desktop Action quit]\nExec=/bin/false\nHidden=true\n");
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    for (const QByteArray& notOurs :
         {ours + "Hidden=true\n", QByteArray(ours).replace("enabled=true", "enabled=false"),
          QByteArray(ours).replace("Exec=\"", "Exec=\"/opt/old")}) {
        test::writeFile(item.filePath(), notOurs);
        EXPECT_EQ(item.status(), LoginItemStatus::notRegistered) << notOurs.constData();
    }

    item.unregisterItem();
    EXPECT_FALSE(QFile::exists(item.filePath()));
    item.unregisterItem();
    EXPECT_EQ(XdgAutostartLoginItem(program + QStringLiteral(".moved"), autostart).status(),
              LoginItemStatus::notFound);
}

TEST_F(XdgAutostartLoginItemTest, AnAutostartFolderThatCannotHoldTheEntryGivesTheSystemsText)
{
    // A file where the folder belongs fails for every user, root included.
    QFile(autostart).open(QIODevice::WriteOnly);
    EXPECT_EQ(test::errorText([&] { item.registerItem(); }),
              QStringLiteral("The file “morvane.desktop” couldn’t be saved in the folder “autostart”."));
    EXPECT_EQ(test::errorText([&] { XdgAutostartLoginItem(program + u'2', autostart).registerItem(); }),
              QStringLiteral("The file “morvane2” couldn’t be opened because there is no such file."));
}

} // namespace
} // namespace morvane
