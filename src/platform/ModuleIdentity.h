#pragma once

#include <cstdint>

namespace morvane {

// The program and each module carry the identity of the build that made them in an ELF note (module/
// ModuleIdentityNote.cpp). LoadableModule reads the module's from the file before loading it and
// compares it with the program's own: a module left from another build, whose entry would be called
// with this build's types, is refused without any of its code running. The identity is a hash of the
// sources and the toolchain, made by the build.
inline constexpr char moduleIdentityNoteName[] = "Morvane"; // the note's owner, with its NUL
inline constexpr std::uint32_t moduleIdentityNoteType = 1;

} // namespace morvane
