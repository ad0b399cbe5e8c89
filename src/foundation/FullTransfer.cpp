#include "FullTransfer.h"

#include <cerrno>

#include <unistd.h>

namespace morvane {

namespace {

template <class Byte, class Transfer>
bool transferFully(int descriptor, Byte* at, std::size_t bytes, Transfer transfer)
{
    while (bytes > 0) {
        const ssize_t count = transfer(descriptor, at, bytes);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        at += count;
        bytes -= std::size_t(count);
    }
    return true;
}

} // namespace

bool readFully(int descriptor, void* into, std::size_t bytes)
{
    return transferFully(descriptor, static_cast<char*>(into), bytes, ::read);
}

bool writeFully(int descriptor, const void* from, std::size_t bytes)
{
    return transferFully(descriptor, static_cast<const char*>(from), bytes, ::write);
}

} // namespace morvane
