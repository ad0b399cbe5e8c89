// Linked into every module and every program that loads one: the build's identity as an ELF note,
// which LoadableModule reads from a module's file before it loads it and compares with the program's.
#include "ModuleBuildIdentity.h"
#include "platform/ModuleIdentity.h"

namespace {

constexpr std::uint32_t paddedToWords(std::uint32_t size)
{
    return (size + 3) / 4 * 4;
}

// The layout of an ELF note: three 32-bit words, then the name and the description, each padded to a
// multiple of four bytes.
struct IdentityNote {
    std::uint32_t nameSize;
    std::uint32_t descriptionSize;
    std::uint32_t type;
    char name[paddedToWords(sizeof(morvane::moduleIdentityNoteName))];
    char description[paddedToWords(sizeof(MORVANE_MODULE_BUILD_IDENTITY))];
};

// A section named ".note..." is a note section; the linker gives notes a segment of their own, which
// is read without loading the module.
[[gnu::section(".note.morvane.identity"), gnu::used, gnu::aligned(4)]] const IdentityNote identityNote = {
    sizeof(morvane::moduleIdentityNoteName), sizeof(MORVANE_MODULE_BUILD_IDENTITY),
    morvane::moduleIdentityNoteType, "Morvane", MORVANE_MODULE_BUILD_IDENTITY};

} // namespace
