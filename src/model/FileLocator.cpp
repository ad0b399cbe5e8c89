#include "FileLocator.h"

#include "foundation/LocatorUrl.h"
#include "model/PDFDeepLink.h"

namespace morvane {

FileLocator FileLocator::read(const QString& text)
{
    return of(LocatorUrl::parse(text));
}

FileLocator FileLocator::of(const std::optional<LocatorUrl>& url)
{
    if (!url)
        return {};
    const auto pdf = PDFDeepLink::fromUrl(*url);
    return {true, url->localFilePath(), pdf ? pdf->page : std::nullopt};
}

} // namespace morvane
