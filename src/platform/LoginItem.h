#pragma once

#include "foundation/Error.h"

namespace morvane {

// Whether the application starts when the user logs in. The numbering is the stored one.
enum class LoginItemStatus {
    notRegistered = 0,
    enabled = 1,
    requiresApproval = 2, // the system asks the user first; never the case with an autostart file
    notFound = 3,         // the application cannot be registered from where it runs
};

// A login item that could not be registered or removed; the description is the system's text.
class LoginItemError : public Error {
public:
    using Error::Error;
};

// The application's own login item. Main thread only.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual LoginItemStatus status() const = 0;
    // Both throw LoginItemError.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;
};

} // namespace morvane
