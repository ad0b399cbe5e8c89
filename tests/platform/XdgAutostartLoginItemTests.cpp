#include "platform/XdgAutostartLoginItem.h"

#include "TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace morvane {
namespace {

class XdgAutostartLoginItemTest : public ::testing::Test {
protected:
    XdgAutostartLoginItemTest()
    {
        QDir().mkpath(test::testHome() + QStringLiteral("/my bin"));
        QFile(program).open(QIODevice::WriteOnly);
    }
    void writeEntry(const QByteArray& contents)
    {
        QFile file(item.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) > 0);
    }
    static QString errorOf(const std::function<void()>& operation)
    {
        try {
            operation();
        } catch (const LoginItemError& error) {
            return error.localizedDescription();
        }
        return {};
    }

    const QString program = test::testHome() + QStringLiteral("/my bin/morvane");
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

    writeEntry(ours + "[Desktop Action quit]\nExec=/bin/false\nHidden=true\n");
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    for (const QByteArray& notOurs :
         {ours + "Hidden=true\n", QByteArray(ours).replace("enabled=true", "enabled=false"),
          QByteArray(ours).replace("Exec=\"", "Exec=\"/opt/old")}) {
        writeEntry(notOurs);
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
    EXPECT_EQ(errorOf([&] { item.registerItem(); }),
              QStringLiteral("The file “morvane.desktop” couldn’t be saved in the folder “autostart”."));
    EXPECT_EQ(errorOf([&] { XdgAutostartLoginItem(program + u'2', autostart).registerItem(); }),
              QStringLiteral("The file “morvane2” couldn’t be opened because there is no such file."));
}

} // namespace
} // namespace morvane
