// libmorvane-eds.so as another build would have left it: the entry's name of this build, another
// build's identity. Nothing of it may run; loading it would already end the process.
#include <cstdlib>

namespace {

[[gnu::constructor]] void endOnLoad()
{
    std::abort();
}

} // namespace

extern "C" [[gnu::visibility("default")]] void* morvane_make_eds_reader_3(bool, bool, void*)
{
    std::abort();
}
