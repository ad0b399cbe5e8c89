#pragma once

namespace morvane {

class LoginItem;

// Registers the application as a login item, or removes it; nothing happens when the item already
// is as asked (a removal also withdraws an item still waiting for the user's approval). Throws the
// login item's error.
void setLaunchAtLoginEnabled(LoginItem& loginItem, bool enabled);

} // namespace morvane
