#pragma once

namespace morvane {

// Marks a step of the start, logged with the milliseconds since main() began under the
// "morvane.Startup" category at debug level (QT_LOGGING_RULES="morvane.Startup.debug=true"), to see
// where a start spends its time. The first call starts the clock. Main thread.
void startupStep(const char* step);

} // namespace morvane
