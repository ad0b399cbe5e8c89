#pragma once

namespace morvane {

// What showing a saved event or card in the application that keeps it came to.
enum class RevealOutcome {
    shown,        // shown, or its application started for it
    notShown,     // the item or access to it is missing, or its application would not start
    noApplication // no application that could show it is installed
};

} // namespace morvane
