#include "FakeProcessLauncher.h"
#include "TestFiles.h"
#include "platform/DesktopServices.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;
using Call = FakeProcessLauncher::Call;
using std::chrono::milliseconds;

namespace {

QString writeDesktopFile(const QString& folder, const QString& name, const QByteArray& exec = "Exec=true")
{
    return writeFile(folder + u'/' + name,
                     "[Desktop Entry]\nName=App\n" + exec + "\n[Desktop Action new]\nExec=other\n");
}

} // namespace

TEST(XdgDesktopServices, AUrlOpensOnlyWhenItsSchemeHasAnInstalledHandler)
{
    writeDesktopFile(testHome() + "/.local/share/applications", "browser.desktop");
    struct Case {
        QString url;
        std::optional<QByteArray> handler; // what xdg-mime prints; nothing when it fails
        bool opened;
        QStringList programs; // run, in order
    };
    const Case cases[] = {
        {"file:///tmp/a%20b.txt", std::nullopt, true, {"xdg-open"}},
        {"https://example.com/", "browser.desktop\n", true, {"xdg-mime", "xdg-open"}},
        {"https://example.com/", "\n", false, {"xdg-mime"}},
        {"https://example.com/", "gone.desktop", false, {"xdg-mime"}},
        {"https://example.com/", "../applications/browser.desktop", false, {"xdg-mime"}},
        {"https://example.com/", std::nullopt, false, {"xdg-mime"}},
        {"just text", std::nullopt, false, {}},
    };
    for (const Case& c : cases) {
        auto launcher = std::make_shared<FakeProcessLauncher>();
        launcher->answer("xdg-mime", c.handler ? 0 : 2, c.handler.value_or(QByteArray()));
        launcher->answer("xdg-open", 0);
        EXPECT_EQ(XdgDesktopServices(launcher).openUrl(c.url), c.opened) << qPrintable(c.url);
        QStringList programs;
        for (const Call& call : launcher->calls())
            programs.append(call.program);
        EXPECT_EQ(programs, c.programs);
    }
    // The scheme is asked for in lower case; xdg-open gets the URL as given and is never awaited.
    auto launcher = std::make_shared<FakeProcessLauncher>();
    launcher->answer("xdg-mime", 0, "browser.desktop");
    launcher->answer("xdg-open", 0);
    EXPECT_TRUE(XdgDesktopServices(launcher).openUrl("HTTPS://Example.com/"));
    EXPECT_EQ(launcher->calls(),
              (QList<Call>{{"xdg-mime", {"query", "default", "x-scheme-handler/https"}, milliseconds(5000)},
                           {"xdg-open", {"HTTPS://Example.com/"}, std::nullopt}}));
    // xdg-open that cannot be started opens nothing.
    EXPECT_FALSE(XdgDesktopServices(std::make_shared<FakeProcessLauncher>()).openUrl("file:///tmp/a"));
}

TEST(XdgDesktopServices, ApplicationsAreFoundAndLaunchedThroughTheirDesktopFiles)
{
    const QString system = testHome() + "/system";
    const ScopedEnvironmentVariable dataDirs("XDG_DATA_DIRS", (testHome() + "/empty:" + system).toUtf8());
    const QString cardhop =
        writeDesktopFile(system + "/applications", "com.flexibits.cardhop.mac.desktop",
                         R"(Exec="/opt/card hop/cardhop" --new-window %U "say \\"hi\\""\s100%% --icon=%i)");
    auto launcher = std::make_shared<FakeProcessLauncher>();
    launcher->answer("/opt/card hop/cardhop", 0);
    XdgDesktopServices desktop(launcher);
    EXPECT_EQ(desktop.applicationPath("com.flexibits.cardhop.mac"), cardhop);
    EXPECT_EQ(desktop.applicationPath("../system/applications/com.flexibits.cardhop.mac"), std::nullopt);
    EXPECT_FALSE(desktop.launchApplication("com.apple.AddressBook"));
    EXPECT_TRUE(desktop.launchApplication("com.flexibits.cardhop.mac"));
    EXPECT_EQ(
        launcher->calls(),
        (QList<Call>{{"/opt/card hop/cardhop", {"--new-window", "say \"hi\"", "100%", "--icon="}, {}}}));
}
