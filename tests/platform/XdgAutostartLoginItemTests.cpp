#include "platform/XdgAutostartLoginItem.h"

#include "platform/DesktopEntry.h"

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

// An entry written by a copy of the program elsewhere (a build folder, a path with quotes and escapes)
// is made to start this one, the rest kept; an entry of anyone else, or one starting "morvane" through
// the PATH, is not touched.
TEST_F(XdgAutostartLoginItemTest, AnEntryOfAnotherCopyFollowsTheRunningProgram)
{
    EXPECT_FALSE(item.followRunningProgram()) << "no entry";
    const QByteArray built = "[Desktop Entry]\nType=Application\nName=Morvane\n"
                             "Exec=/home/u/src/morvane/build/src/app/morvane\nHidden=true\n";
    test::writeFile(item.filePath(), built);
    EXPECT_TRUE(item.followRunningProgram());
    EXPECT_EQ(*desktop_entry::read(item.filePath()),
              QByteArray(built).replace("/home/u/src/morvane/build/src/app/morvane",
                                        XdgAutostartLoginItem::execValue(program).toUtf8()));
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered) << "switched off by the desktop, it stays off";
    EXPECT_FALSE(item.followRunningProgram());

    test::writeFile(item.filePath(),
                    "[Desktop Entry]\nName=Morvane\nExec=\"/home/a \\\\\"b\\\\\"/morvane\"\n");
    EXPECT_TRUE(item.followRunningProgram());
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);

    for (const QByteArray& others :
         {QByteArray("[Desktop Entry]\nName=Other\nExec=/opt/other/morvane\n"),
          QByteArray("[Desktop Entry]\nName=Morvane\nExec=morvane\n"),
          QByteArray("[Desktop Entry]\nName=Morvane\nExec=/opt/m/morvane-wrapper\n")}) {
        test::writeFile(item.filePath(), others);
        EXPECT_FALSE(item.followRunningProgram());
        EXPECT_EQ(*desktop_entry::read(item.filePath()), others);
    }
}

// Exec values as desktops write them: quoting, the value's escapes and doubled percent signs undone.
TEST(DesktopEntryProgram, UndoesTheQuotingAndEscapes)
{
    EXPECT_EQ(desktop_entry::program("/usr/bin/morvane %u"), "/usr/bin/morvane");
    EXPECT_EQ(desktop_entry::program(R"("/home/a b/morvane" %u)"), "/home/a b/morvane");
    EXPECT_EQ(desktop_entry::program(R"("/x/\\$a\\"b\\\\c%%d/morvane" %u)"), R"(/x/$a"b\c%d/morvane)");
    EXPECT_EQ(desktop_entry::program(""), "");
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
