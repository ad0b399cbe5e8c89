#include "CapturedContext.h"

#include "foundation/Text.h"

namespace morvane {

bool CapturedContext::operator==(const CapturedContext& other) const
{
    return canonicallyEqual(title, other.title) && canonicallyEqual(locator, other.locator) &&
           type == other.type && canonicallyEqual(sourceApp, other.sourceApp) &&
           fileIdentity == other.fileIdentity;
}

} // namespace morvane
