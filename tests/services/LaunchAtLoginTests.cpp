#include "services/LaunchAtLogin.h"

#include "platform/XdgAutostartLoginItem.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

namespace morvane {
namespace {

// The autostart entry as the desktop finds it at login: under $XDG_CONFIG_HOME, which the test main
// points at this test's own home.
QString autostartEntryPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/morvane.desktop");
}

QByteArray readEntry()
{
    QFile file(autostartEntryPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeEntry(const QByteArray& contents)
{
    QFile file(autostartEntryPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

TEST(LaunchAtLogin, TheAutostartEntryStartsThisProgramAndIsWrittenOnlyWhenMissingOrSwitchedOff)
{
    XdgAutostartLoginItem item;
    const QByteArray exec =
        "Exec=" + XdgAutostartLoginItem::execValue(QCoreApplication::applicationFilePath()).toUtf8() + '\n';

    setLaunchAtLoginEnabled(item, true);
    const QByteArray written = readEntry();
    ASSERT_TRUE(written.startsWith("[Desktop Entry]\n")) << written.toStdString();
    EXPECT_TRUE(written.contains("\nType=Application\n"));
    EXPECT_TRUE(written.contains('\n' + exec)) << written.toStdString();
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);

    // An entry that already starts this program is left as the user keeps it.
    writeEntry(written + "# kept\n");
    setLaunchAtLoginEnabled(item, true);
    EXPECT_TRUE(readEntry().endsWith("# kept\n"));

    // One the desktop switched off is written again, switched on.
    writeEntry(written + "Hidden=true\n");
    setLaunchAtLoginEnabled(item, true);
    EXPECT_EQ(readEntry(), written);

    setLaunchAtLoginEnabled(item, false);
    EXPECT_FALSE(QFile::exists(autostartEntryPath()));
    setLaunchAtLoginEnabled(item, false); // nothing to remove
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
}

TEST(LaunchAtLogin, SwitchingOffLeavesAnEntryThatStartsAnotherCopy)
{
    XdgAutostartLoginItem item;
    setLaunchAtLoginEnabled(item, true);
    const QByteArray other = "[Desktop Entry]\nType=Application\nName=Morvane\nExec=/opt/morvane/morvane\n";
    writeEntry(other);

    setLaunchAtLoginEnabled(item, false);
    EXPECT_EQ(readEntry(), other);
    // Switching on makes it start this one.
    setLaunchAtLoginEnabled(item, true);
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    EXPECT_NE(readEntry(), other);
}

} // namespace
} // namespace morvane
