#include "StoreReadWait.h"

#include <algorithm>

namespace morvane {

bool StoreReadWait::wait(const std::function<bool(std::chrono::milliseconds)>& waitFor,
                         std::chrono::milliseconds bound) const
{
    using std::chrono::milliseconds;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!closed()) {
        const milliseconds left =
            std::max(std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now()),
                     milliseconds(0));
        if (waitFor(std::min(left, step)))
            return true;
        if (left <= step)
            return false;
    }
    return false;
}

} // namespace morvane
