#pragma once

#include <cstddef>

namespace morvane {

// Reads or writes all the bytes at the descriptor, through short transfers and interruptions; false at
// an error (errno says which) or at the end of the file.
bool readFully(int descriptor, void* into, std::size_t bytes);
bool writeFully(int descriptor, const void* from, std::size_t bytes);

} // namespace morvane
