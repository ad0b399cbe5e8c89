#include "FakeProcessLauncher.h"
#include "TestFiles.h"
#include "platform/DesktopServices.h"

#include <QCoreApplication>
#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>
#include <QPromise>

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

// As the callers take the answer: awaited, the event loop running meanwhile.
bool awaited(QFuture<bool> answer)
{
    return QCoro::waitFor(
        [](QFuture<bool> future) -> QCoro::Task<bool> { co_return co_await future; }(answer));
}

// The services are gone by the time the answer comes, as a caller's temporary would be.
bool opened(std::shared_ptr<ProcessLauncher> launcher, const QString& url)
{
    return awaited(XdgDesktopServices(std::move(launcher)).openUrl(url));
}

// A helper program still running: its run finishes when the test says.
class RunningLauncher final : public ProcessLauncher {
public:
    bool startDetached(const QString& program, const QStringList&) override
    {
        started.append(program);
        return true;
    }
    QFuture<ProcessResult> run(const QString&, const QStringList&, std::chrono::milliseconds) override
    {
        running.start();
        return running.future();
    }

    QPromise<ProcessResult> running;
    QStringList started;
};

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
        EXPECT_EQ(opened(launcher, c.url), c.opened) << qPrintable(c.url);
        QStringList programs;
        for (const Call& call : launcher->calls())
            programs.append(call.program);
        EXPECT_EQ(programs, c.programs);
    }
    // The scheme is asked for in lower case; xdg-open gets the URL as given and is never awaited.
    auto launcher = std::make_shared<FakeProcessLauncher>();
    launcher->answer("xdg-mime", 0, "browser.desktop");
    launcher->answer("xdg-open", 0);
    EXPECT_TRUE(opened(launcher, "HTTPS://Example.com/"));
    EXPECT_EQ(launcher->calls(),
              (QList<Call>{{"xdg-mime", {"query", "default", "x-scheme-handler/https"}, milliseconds(5000)},
                           {"xdg-open", {"HTTPS://Example.com/"}, std::nullopt}}));
    // xdg-open that cannot be started opens nothing.
    EXPECT_FALSE(opened(std::make_shared<FakeProcessLauncher>(), "file:///tmp/a"));
}

// xdg-mime may take seconds to answer (until the launcher's time-out): the caller goes on meanwhile,
// and a question that timed out, or was abandoned, opens nothing.
TEST(XdgDesktopServices, TheHandlerQuestionNeverHoldsUpTheCallerAndOneUnansweredOpensNothing)
{
    writeDesktopFile(testHome() + "/.local/share/applications", "browser.desktop");
    for (const bool abandoned : {false, true}) {
        auto launcher = std::make_shared<RunningLauncher>();
        QFuture<bool> answer = XdgDesktopServices(launcher).openUrl("https://example.com/");
        QCoreApplication::processEvents();
        EXPECT_FALSE(answer.isFinished());
        if (abandoned) {
            launcher->running.finish();
        } else {
            launcher->running.addResult(
                ProcessResult{ProcessResult::Outcome::timedOut, -1, "browser.desktop\n", {}});
            launcher->running.finish();
        }
        EXPECT_FALSE(awaited(answer));
        EXPECT_TRUE(launcher->started.isEmpty());
    }
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
