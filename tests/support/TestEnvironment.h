#pragma once

#include <QString>

namespace morvane::test {

// The temporary home folder of the running test. The shared test main gives every test its own HOME,
// XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR in it, so that no test reads or writes the real
// home folder or sees what an earlier test left behind.
QString testHome();

} // namespace morvane::test
