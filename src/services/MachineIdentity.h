#pragma once

#include <QString>

namespace morvane {

class UserDefaults;

// This machine's identifier: the UUID text stored under key, made and stored on first use (an
// empty stored value counts as none) and never changed afterwards.
QString machineIdentifier(UserDefaults& defaults, const QString& key);

} // namespace morvane
