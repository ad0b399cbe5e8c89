#include "ScriptRunner.h"

#include "foundation/Logging.h"

#include <atomic>

MORVANE_LOGGING_CATEGORY(lcScripts, "Scripts")

namespace morvane {

ScriptOutcome UnavailableScriptRunner::run(const QString&, std::optional<std::chrono::milliseconds>)
{
    static std::atomic_flag logged;
    if (!logged.test_and_set())
        qCInfo(lcScripts) << "Scripts cannot be sent to other applications on this system; "
                             "items are captured only where an application is read directly";
    return ScriptOutcome::notMade();
}

} // namespace morvane
