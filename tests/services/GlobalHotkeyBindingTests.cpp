#include "services/GlobalHotkeyBinding.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(GlobalHotkeyBinding, StoredFormIsKeyCodeThenModifiersAndOnlyInRangeIntegersReadBack)
{
    EXPECT_EQ(GlobalHotkeyBinding({37, 0x1100}).toJson(),
              QByteArray(R"({"keyCode":37,"carbonModifiers":4352})"));
    const GlobalHotkeyBinding widest{65535, 0xffffffff};
    EXPECT_EQ(GlobalHotkeyBinding::fromJson(widest.toJson()), widest);
    EXPECT_EQ(GlobalHotkeyBinding::fromJson(R"({"carbonModifiers":256,"extra":1,"keyCode":5})"),
              (GlobalHotkeyBinding{5, 0x100}));
    for (const char* text :
         {R"({"keyCode":37})", R"({"keyCode":-1,"carbonModifiers":0})",
          R"({"keyCode":65536,"carbonModifiers":0})", R"({"keyCode":1,"carbonModifiers":4294967296})",
          R"({"keyCode":37.0,"carbonModifiers":0})", R"({"keyCode":"37","carbonModifiers":0})",
          R"([37,4352])", R"({"keyCode":37,"carbonModifiers":4352)"})
        EXPECT_EQ(GlobalHotkeyBinding::fromJson(text), std::nullopt) << text;
}

TEST(GlobalHotkeyBinding, DisplayStringsAndValidity)
{
    struct Case {
        quint16 keyCode;
        quint32 modifiers;
        const char* text;
        bool valid;
    };
    for (const Case& c :
         {Case{37, 0x1100, "⌃⌘L", true}, Case{49, 0x900, "⌥⌘Space", true}, Case{56, 0, "…", false},
          Case{59, 0x1200, "⌃⇧", false}, Case{200, 0x100, "⌘Key 200", true}, Case{29, 0x1a00, "⌃⌥⇧0", true},
          Case{64, 0x4100, "⌘F17", true}, Case{122, 0, "F1", false}, Case{76, 0x100, "⌘↩", true}}) {
        const GlobalHotkeyBinding binding{c.keyCode, c.modifiers};
        EXPECT_EQ(binding.displayString(), QString::fromUtf8(c.text)) << c.keyCode;
        EXPECT_EQ(binding.isValid(), c.valid) << c.keyCode;
    }
}

} // namespace
} // namespace morvane
