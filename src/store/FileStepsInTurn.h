#pragma once

#include <utility>
#include <variant>

namespace morvane {

// Takes an operation's file steps one after another on the calling thread, as the store takes them
// on its threads (LinkStore::withFileWork): while the step is file work (alternative 1), examine it
// and settle the findings into the next step; the answer is alternative 0.
template <class Step, class Examine, class Settle>
auto takeFileStepsInTurn(Step step, Examine examine, Settle settle)
{
    while (const auto* pending = std::get_if<1>(&step)) {
        const auto found = examine(*pending);
        step = settle(*pending, found);
    }
    return std::get<0>(std::move(step));
}

} // namespace morvane
