#pragma once

#include <cstdint>

namespace morvane {

// Each module carries the identity of the build that made it in an ELF note (module/
// ModuleIdentityNote.cpp), and LoadableModule reads it from the file before loading: a module left
// from another build, whose entry would be called with this build's types, is refused without any
// of its code running. The identity is a hash of the sources and the toolchain, made by the build.
inline constexpr char moduleIdentityNoteName[] = "Morvane"; // the note's owner, with its NUL
inline constexpr std::uint32_t moduleIdentityNoteType = 1;

} // namespace morvane
