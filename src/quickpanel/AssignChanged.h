#pragma once

#include <utility>

namespace morvane {

// Writes the value and tells whether it changed, so that a signal fires on a real change only.
template <class T> bool assignChanged(T& field, T value)
{
    if (field == value)
        return false;
    field = std::move(value);
    return true;
}

} // namespace morvane
