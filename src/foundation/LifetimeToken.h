#pragma once

#include <memory>
#include <utility>

namespace morvane {

// Tells work that waits (a co_await, a queued call) whether the object it belongs to still exists,
// for objects that are not QObjects (a QObject is watched with QPointer). The object holds the token;
// the work takes a watch before it waits and asks it afterwards. Ask on the thread that destroys
// the object, so that the answer holds while the work goes on.
class LifetimeToken {
public:
    class Watch {
    public:
        // Whether the token's owner still exists.
        explicit operator bool() const { return !m_token.expired(); }

    private:
        friend class LifetimeToken;
        explicit Watch(std::weak_ptr<const int> token)
            : m_token(std::move(token))
        {
        }

        std::weak_ptr<const int> m_token;
    };

    LifetimeToken() = default;
    // A token belongs to one object: a copy or a move would watch the wrong one.
    LifetimeToken(const LifetimeToken&) = delete;
    LifetimeToken& operator=(const LifetimeToken&) = delete;

    Watch watch() const { return Watch(m_token); }

private:
    std::shared_ptr<const int> m_token = std::make_shared<const int>(0);
};

} // namespace morvane
