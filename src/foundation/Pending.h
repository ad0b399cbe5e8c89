#pragma once

#include <optional>
#include <utility>

namespace morvane {

// The second step of a two-step command: takes what waits for confirmation out of its slot, tells
// `cleared` that the slot is now empty, then hands the value to `act`. Nothing happens when nothing
// waits.
template <class T, class Cleared, class Act>
void confirmPending(std::optional<T>& slot, Cleared&& cleared, Act&& act)
{
    if (!slot)
        return;
    T value = *std::exchange(slot, std::nullopt);
    std::forward<Cleared>(cleared)();
    std::forward<Act>(act)(std::move(value));
}

} // namespace morvane
