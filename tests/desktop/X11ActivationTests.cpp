#include "desktop/X11Activation.h"

#include <gtest/gtest.h>

using namespace morvane;

// A startup id comes from whatever launched the process; only a well-formed time at its end counts.
TEST(X11Activation, TheTimeAtTheEndOfAStartupIdIsTheLaunchTime)
{
    const std::optional<std::uint32_t> none;
    for (const auto& [id, time] :
         {std::pair{"xterm-1234-host-_TIME98765", std::optional<std::uint32_t>(98765)},
          {"a_TIME1_TIME4294967295", 4294967295u},
          {"gnome-shell/Morvane/2161-0-host_TIME12", 12u},
          {"no-time-here", none},
          {"_TIME", none},
          {"launch_TIME12x", none},
          {"launch_TIME4294967296", none},
          {"launch_TIME0", none},
          {"launch_TIME-5", none},
          {"", none}})
        EXPECT_EQ(startupIdTime(id), time) << id;
}

// The time of a shortcut's press goes with the activation it schedules, once.
TEST(X11Activation, APressIsTakenOnceByTheActivationAfterIt)
{
    noteX11UserAction(4242);
    EXPECT_EQ(takeRecentX11UserAction(), std::optional<std::uint32_t>(4242));
    EXPECT_EQ(takeRecentX11UserAction(), std::nullopt);
}
