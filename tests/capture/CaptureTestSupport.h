#pragma once

#include "AccessibilityTree.h"
#include "FakeWorkspace.h"
#include "ScriptedRunner.h"
#include "TestEnvironment.h"
#include "capture/ActiveContextProvider.h"
#include "files/FileHashCache.h"
#include "files/FileIdentityService.h"
#include "model/CapturedContext.h"

#include <QPromise>
#include <QUrl>
#include <QUrlQuery>

#include <memory>
#include <ostream>

namespace morvane {

inline void PrintTo(const CapturedContext& c, std::ostream* os)
{
    *os << "{" << c.title.toStdString() << " | " << c.locator.toStdString() << " | "
        << rawValue(c.type).toStdString() << " | " << c.sourceApp.toStdString()
        << (c.fileIdentity ? " | identity}" : "}");
}

} // namespace morvane

namespace morvane::test {

// The desktop, the script runner, the accessibility bus and the identity service that providers are
// built on.
struct ProviderFixture {
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<ScriptedRunner> scripts = std::make_shared<ScriptedRunner>();
    std::shared_ptr<AccessibilityTree> bus = std::make_shared<AccessibilityTree>();
    std::shared_ptr<FileIdentityService> identity =
        std::make_shared<FileIdentityService>(std::make_shared<FileHashCache>());
};

// The "id" of each context's locator, joined by commas.
inline QString ids(const QList<CapturedContext>& contexts)
{
    QStringList ids;
    for (const CapturedContext& context : contexts)
        ids.append(QUrlQuery(QUrl(context.locator)).queryItemValue("id", QUrl::FullyDecoded));
    return ids.join(u',');
}

// A provider that gives the answer it holds and counts the questions.
class StubProvider final : public ActiveContextProvider {
public:
    explicit StubProvider(QString name, CaptureResult answer = {})
        : answer(std::move(answer))
        , m_name(std::move(name))
    {
    }
    QString providerName() const override { return m_name; }
    CaptureResult captureContexts() override
    {
        ++asked;
        return m_setAside ? CaptureResult() : answer;
    }
    // While a reading is held, each refresh waits until the test answers it.
    QFuture<void> refresh() override
    {
        if (!m_reading) {
            m_setAside = false;
            return ActiveContextProvider::refresh();
        }
        return m_reading->future();
    }
    // With setsAside, as the readers do: once distrusted, nothing is answered until a reading ends.
    void distrustKeptReadings() override { m_setAside = setsAside; }
    bool wantsAnotherReading() override { return readAgain; }
    ApplicationReading readingOf(const QString&) const override { return reading; }

    // The application is being read: refreshes wait from now on.
    void holdReading()
    {
        m_reading = std::make_shared<QPromise<void>>();
        m_reading->start();
    }
    // The reading ends with this answer; refreshes end at once again, or wait again with holdNext
    // (held before the end is told: whoever follows the end may start the next one at once).
    void answerReading(CaptureResult read, bool holdNext = false)
    {
        answer = std::move(read);
        m_setAside = false;
        const std::shared_ptr<QPromise<void>> ended = std::exchange(m_reading, nullptr);
        if (holdNext)
            holdReading();
        if (ended)
            ended->finish();
    }

    CaptureResult answer;
    int asked = 0;
    // How it reads every application, for the reason the service gives.
    ApplicationReading reading = ApplicationReading::none;
    bool setsAside = false;
    // What it last read no longer stands for the window (retitled while it was read).
    bool readAgain = false;

private:
    QString m_name;
    bool m_setAside = false;
    std::shared_ptr<QPromise<void>> m_reading;
};

} // namespace morvane::test
