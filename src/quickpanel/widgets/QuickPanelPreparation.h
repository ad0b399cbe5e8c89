#pragma once

namespace morvane {

// Makes on a pool thread what the panel's first show would otherwise make on the main thread while the
// user waits, each slow only the first time in a process: the desktop's list of fonts, the glyphs of the
// rows, and the images of the rows' shadows, which it hands to the main thread.
// Once the application has started; the panel shows as well before it is done, making what is missing.
void prepareQuickPanelAhead();

} // namespace morvane
