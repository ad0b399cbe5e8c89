#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace morvane {

// How a personal-data store (calendars, contacts) answers a request for access: whether the user
// granted it, and the store's description of the error when the request itself failed. The store may
// call it on a thread of its own.
using AccessRequestCompletion = std::function<void(bool granted, std::optional<QString> errorDescription)>;

} // namespace morvane
