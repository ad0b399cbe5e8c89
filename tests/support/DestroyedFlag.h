#pragma once

#include <future>
#include <memory>

namespace morvane::test {

// Copied into a job: set when the last copy goes, whether the job ran or not. Let go of the test's own
// copy (destroyed.reset()) once the job holds one.
struct DestroyedFlag {
    std::shared_ptr<std::promise<void>> destroyed = std::make_shared<std::promise<void>>();
    ~DestroyedFlag()
    {
        if (destroyed.use_count() == 1)
            destroyed->set_value();
    }
    DestroyedFlag() = default;
    DestroyedFlag(const DestroyedFlag&) = default;
};

} // namespace morvane::test
