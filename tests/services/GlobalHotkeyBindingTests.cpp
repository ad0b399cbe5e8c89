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
        const char* logText;
        const char* userText;
        bool valid;
    };
    for (const Case& c :
         {Case{37, 0x1100, "⌃⌘L", "Ctrl+Super+L", true}, Case{49, 0x900, "⌥⌘Space", "Alt+Super+Space", true},
          Case{56, 0, "…", "…", false}, Case{59, 0x1200, "⌃⇧", "Ctrl+Shift", false},
          Case{200, 0x100, "⌘Key 200", "Super+Key 200", true},
          Case{29, 0x1a00, "⌃⌥⇧0", "Ctrl+Alt+Shift+0", true}, Case{64, 0x4100, "⌘F17", "Super+F17", true},
          Case{122, 0, "F1", "F1", false}, Case{76, 0x100, "⌘↩", "Super+Return", true},
          Case{51, 0x1000, "⌃⌫", "Ctrl+Backspace", true}}) {
        const GlobalHotkeyBinding binding{c.keyCode, c.modifiers};
        EXPECT_EQ(binding.displayString(), QString::fromUtf8(c.logText)) << c.keyCode;
        EXPECT_EQ(binding.shortcutText(), QString::fromUtf8(c.userText)) << c.keyCode;
        EXPECT_EQ(binding.isValid(), c.valid) << c.keyCode;
    }
}

} // namespace
} // namespace morvane
