#include "GlobalShortcutsPortal.h"

namespace morvane {

GlobalShortcutsPortal::~GlobalShortcutsPortal() = default;

} // namespace morvane
