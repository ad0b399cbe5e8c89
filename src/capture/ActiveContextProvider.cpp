#include "ActiveContextProvider.h"

namespace morvane {

CaptureResult ActiveContextProvider::captureContexts()
{
    std::optional<CapturedContext> context = captureContext();
    if (!context)
        return {};
    return {{std::move(*context)}, std::nullopt};
}

QFuture<void> ActiveContextProvider::refresh()
{
    return QtFuture::makeReadyFuture();
}

ApplicationReading ActiveContextProvider::readingOf(const QString&) const
{
    return ApplicationReading::none;
}

} // namespace morvane
