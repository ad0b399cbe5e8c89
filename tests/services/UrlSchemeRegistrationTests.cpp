#include "FakeProcessLauncher.h"
#include "TestFiles.h"

#include "services/UrlSchemeRegistration.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

using Call = FakeProcessLauncher::Call;

const QString binary = "/opt/morvane/bin/morvane";
const Call setDefault{"xdg-mime", {"default", "morvane.desktop", "x-scheme-handler/morvane"}, std::nullopt};

QString entry()
{
    QFile file(UrlSchemeRegistration::desktopFilePath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class SchemeRegistration : public ::testing::Test {
protected:
    std::shared_ptr<FakeProcessLauncher> launcher = std::make_shared<FakeProcessLauncher>();
    QString currentDefault;

    void SetUp() override
    {
        launcher->answer("xdg-mime", [this](const QStringList&) {
            return ProcessResult{ProcessResult::Outcome::finished, 0, currentDefault.toUtf8() + "\n", {}};
        });
    }

    QList<Call> registerAs(const QString& executable)
    {
        const qsizetype before = launcher->calls().size();
        QCoro::waitFor(UrlSchemeRegistration(launcher).registerScheme(executable));
        return launcher->calls().mid(before);
    }
};

TEST_F(SchemeRegistration, WritesTheEntryAndMakesItTheDefaultOnlyWhenNeeded)
{
    currentDefault = "other-browser.desktop";
    const QList<Call> first = registerAs(binary);
    ASSERT_EQ(first.size(), 2);
    EXPECT_EQ(first[0].arguments, (QStringList{"query", "default", "x-scheme-handler/morvane"}));
    EXPECT_EQ(first[1], setDefault);
    const QString written = entry();
    for (const char* line :
         {"[Desktop Entry]\n", "\nType=Application\n", "\nExec=/opt/morvane/bin/morvane %u\n",
          "\nMimeType=x-scheme-handler/morvane;\n", "\nNoDisplay=true\n"})
        EXPECT_TRUE(written.contains(line)) << line;

    // Already the default, the same program: the entry is kept as it is (a mark the user added
    // survives) and xdg-mime is only asked.
    currentDefault = "morvane.desktop";
    QFile file(UrlSchemeRegistration::desktopFilePath());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("X-Mark=kept\n");
    file.close();
    EXPECT_EQ(registerAs(binary).size(), 1);
    EXPECT_TRUE(entry().contains("X-Mark=kept"));

    // The application moved (a build folder, then another): the entry starts the new place, the rest
    // of it kept.
    EXPECT_EQ(registerAs("/usr/bin/morvane").size(), 1);
    EXPECT_TRUE(entry().contains("\nExec=/usr/bin/morvane %u\n"));
    EXPECT_TRUE(entry().contains("X-Mark=kept"));
    EXPECT_EQ(entry().count("Exec="), 1);
}

// An entry of the same name that Morvane did not write (another program's, or the user's own that
// starts "morvane" through the PATH) is left as it is.
TEST_F(SchemeRegistration, LeavesAnEntryItDidNotWriteAlone)
{
    for (const QByteArray& other :
         {QByteArray("[Desktop Entry]\nType=Application\nName=Other\nExec=/opt/other/morvane %u\n"),
          QByteArray("[Desktop Entry]\nType=Application\nName=Morvane\nExec=morvane %u\n"),
          QByteArray("[Desktop Entry]\nType=Application\nName=Morvane\nExec=/opt/morvane-2/run %u\n")}) {
        writeFile(UrlSchemeRegistration::desktopFilePath(), other);
        registerAs(binary);
        EXPECT_EQ(entry().toUtf8(), other);
    }
}

// Installed from the package, the system's menu entry takes the links: no entry is written for the
// user, and the hidden one a run from a build folder left, which would hide the menu entry, goes.
// A system entry that does not declare the scheme changes nothing.
TEST_F(SchemeRegistration, ASystemEntryForTheSchemeTakesThePlaceOfTheUsersEntry)
{
    const QString system = homePath("system-data");
    const QByteArray previous = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS", (homePath("none") + ":" + system).toUtf8());
    writeFile(system + "/applications/morvane.desktop",
              "[Desktop Entry]\nType=Application\nName=Morvane\nExec=morvane %u\n");
    currentDefault = "morvane.desktop";
    registerAs("/home/a/src/morvane/build/src/app/morvane");
    EXPECT_TRUE(QFileInfo::exists(UrlSchemeRegistration::desktopFilePath()));

    writeFile(system + "/applications/morvane.desktop",
              "[Desktop Entry]\nType=Application\nName=Morvane\nExec=morvane %u\n"
              "MimeType=x-scheme-handler/morvane;\n");
    EXPECT_EQ(registerAs("/usr/bin/morvane").size(), 1);
    EXPECT_FALSE(QFileInfo::exists(UrlSchemeRegistration::desktopFilePath()));
    EXPECT_EQ(registerAs("/usr/bin/morvane").size(), 1);
    EXPECT_FALSE(QFileInfo::exists(UrlSchemeRegistration::desktopFilePath()));
    qputenv("XDG_DATA_DIRS", previous);
}

TEST(SchemeExecLine, QuotesWhatTheDesktopEntryFormatReserves)
{
    EXPECT_EQ(UrlSchemeRegistration::execLine("/usr/bin/morvane"), "Exec=/usr/bin/morvane %u");
    EXPECT_EQ(UrlSchemeRegistration::execLine("/home/a b/morvane"), R"(Exec="/home/a b/morvane" %u)");
    // Inside quotes ", `, $ and \ take a backslash, which the value's escaping then doubles; a
    // percent sign is doubled everywhere.
    EXPECT_EQ(UrlSchemeRegistration::execLine(R"(/x/$a"b\c%d/morvane)"),
              R"(Exec="/x/\\$a\\"b\\\\c%%d/morvane" %u)");
}

TEST(SchemeArguments, KeepsOnlyMorvaneUrlsInOrder)
{
    EXPECT_EQ(morvaneUrls({"--verbose", "MORVANE://open/1", "https://example.com", "morvane:x",
                           "morvanex://a", "/home/a/morvane:b", "Morvane://open/2"}),
              (QStringList{"MORVANE://open/1", "morvane:x", "Morvane://open/2"}));
}

} // namespace
