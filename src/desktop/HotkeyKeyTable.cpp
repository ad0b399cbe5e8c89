#include "HotkeyKeyTable.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <utility>

namespace morvane {

namespace {

// Keysym values are fixed by the X protocol; the names are those of keysymdef.h.
constexpr quint32 functionKey1 = 0xffbe; // F1; F2..F35 follow in order

// clang-format off
constexpr std::array entries = std::to_array<HotkeyKeyEntry>({
    // Letters, as the unshifted (lower-case) keysym.
    {0, 0x61},  {11, 0x62}, {8, 0x63},  {2, 0x64},  {14, 0x65}, {3, 0x66},  {5, 0x67},
    {4, 0x68},  {34, 0x69}, {38, 0x6a}, {40, 0x6b}, {37, 0x6c}, {46, 0x6d}, {45, 0x6e},
    {31, 0x6f}, {35, 0x70}, {12, 0x71}, {15, 0x72}, {1, 0x73},  {17, 0x74}, {32, 0x75},
    {9, 0x76},  {13, 0x77}, {7, 0x78},  {16, 0x79}, {6, 0x7a},
    // Digits of the main block.
    {29, 0x30}, {18, 0x31}, {19, 0x32}, {20, 0x33}, {21, 0x34}, {23, 0x35}, {22, 0x36},
    {26, 0x37}, {28, 0x38}, {25, 0x39},
    // Function keys F1..F20.
    {122, functionKey1 + 0},  {120, functionKey1 + 1},  {99, functionKey1 + 2},   {118, functionKey1 + 3},
    {96, functionKey1 + 4},   {97, functionKey1 + 5},   {98, functionKey1 + 6},   {100, functionKey1 + 7},
    {101, functionKey1 + 8},  {109, functionKey1 + 9},  {103, functionKey1 + 10}, {111, functionKey1 + 11},
    {105, functionKey1 + 12}, {107, functionKey1 + 13}, {113, functionKey1 + 14}, {106, functionKey1 + 15},
    {64, functionKey1 + 16},  {79, functionKey1 + 17},  {80, functionKey1 + 18},  {90, functionKey1 + 19},
    // Return, Tab, space, BackSpace, Escape.
    {36, 0xff0d}, {48, 0xff09}, {49, 0x20}, {51, 0xff08}, {53, 0xff1b},
    // Insert (where the Help key sits) and Help, Home, Prior, Delete, End, Next, the arrows.
    {114, 0xff63}, {114, 0xff6a}, {115, 0xff50}, {116, 0xff55}, {117, 0xffff}, {119, 0xff57},
    {121, 0xff56}, {123, 0xff51}, {124, 0xff53}, {125, 0xff54}, {126, 0xff52},
    // Punctuation of the main block (US positions), and the ISO key beside the left Shift.
    {24, 0x3d}, {27, 0x2d}, {30, 0x5d}, {33, 0x5b}, {39, 0x27}, {41, 0x3b}, {42, 0x5c},
    {43, 0x2c}, {44, 0x2f}, {47, 0x2e}, {50, 0x60}, {10, 0x3c},
    // Keypad: the digit (grabbed) and, for the digits and the decimal point, what the key reports
    // without Num Lock; then * + / Enter - =.
    {82, 0xffb0}, {82, 0xff9e}, {83, 0xffb1}, {83, 0xff9c}, {84, 0xffb2}, {84, 0xff99},
    {85, 0xffb3}, {85, 0xff9b}, {86, 0xffb4}, {86, 0xff96}, {87, 0xffb5}, {87, 0xff9d},
    {88, 0xffb6}, {88, 0xff98}, {89, 0xffb7}, {89, 0xff95}, {91, 0xffb8}, {91, 0xff97},
    {92, 0xffb9}, {92, 0xff9a}, {65, 0xffae}, {65, 0xff9f},
    {67, 0xffaa}, {69, 0xffab}, {75, 0xffaf}, {76, 0xff8d}, {78, 0xffad}, {81, 0xffbd},
    // XF86AudioRaiseVolume, XF86AudioLowerVolume, XF86AudioMute.
    {72, 0x1008ff13}, {73, 0x1008ff11}, {74, 0x1008ff12},
});
// clang-format on

struct KeyPlace {
    quint16 keyCode;
    const char* name;
};

// clang-format off
constexpr std::array places = std::to_array<KeyPlace>({
    {50, "TLDE"}, {18, "AE01"}, {19, "AE02"}, {20, "AE03"}, {21, "AE04"}, {23, "AE05"}, {22, "AE06"},
    {26, "AE07"}, {28, "AE08"}, {25, "AE09"}, {29, "AE10"}, {27, "AE11"}, {24, "AE12"},
    {12, "AD01"}, {13, "AD02"}, {14, "AD03"}, {15, "AD04"}, {17, "AD05"}, {16, "AD06"}, {32, "AD07"},
    {34, "AD08"}, {31, "AD09"}, {35, "AD10"}, {33, "AD11"}, {30, "AD12"}, {42, "BKSL"},
    {0, "AC01"},  {1, "AC02"},  {2, "AC03"},  {3, "AC04"},  {5, "AC05"},  {4, "AC06"},  {38, "AC07"},
    {40, "AC08"}, {37, "AC09"}, {41, "AC10"}, {39, "AC11"},
    {6, "AB01"},  {7, "AB02"},  {8, "AB03"},  {9, "AB04"},  {11, "AB05"}, {45, "AB06"}, {46, "AB07"},
    {43, "AB08"}, {47, "AB09"}, {44, "AB10"}, {10, "LSGT"},
});
// clang-format on

// The keysymdef.h names of the keys above that are not a letter, a digit or a function key.
struct KeysymName {
    quint32 keysym;
    const char* name;
};

// clang-format off
constexpr std::array keysymNames = std::to_array<KeysymName>({
    {0xff0d, "Return"}, {0xff09, "Tab"}, {0x20, "space"}, {0xff08, "BackSpace"}, {0xff1b, "Escape"},
    {0xff63, "Insert"}, {0xff6a, "Help"}, {0xff50, "Home"}, {0xff55, "Prior"}, {0xffff, "Delete"},
    {0xff57, "End"}, {0xff56, "Next"}, {0xff51, "Left"}, {0xff53, "Right"}, {0xff54, "Down"},
    {0xff52, "Up"}, {0x3d, "equal"}, {0x2d, "minus"}, {0x5d, "bracketright"}, {0x5b, "bracketleft"},
    {0x27, "apostrophe"}, {0x3b, "semicolon"}, {0x5c, "backslash"}, {0x2c, "comma"}, {0x2f, "slash"},
    {0x2e, "period"}, {0x60, "grave"}, {0x3c, "less"}, {0xffae, "KP_Decimal"}, {0xffaa, "KP_Multiply"},
    {0xffab, "KP_Add"}, {0xffaf, "KP_Divide"}, {0xff8d, "KP_Enter"}, {0xffad, "KP_Subtract"},
    {0xffbd, "KP_Equal"}, {0x1008ff13, "XF86AudioRaiseVolume"}, {0x1008ff11, "XF86AudioLowerVolume"},
    {0x1008ff12, "XF86AudioMute"},
});
// clang-format on

QString keysymName(quint32 keysym)
{
    if ((keysym >= 'a' && keysym <= 'z') || (keysym >= '0' && keysym <= '9'))
        return QString(QChar(char16_t(keysym)));
    if (keysym >= 0xffb0 && keysym <= 0xffb9)
        return QStringLiteral("KP_%1").arg(keysym - 0xffb0);
    if (keysym >= functionKey1 && keysym < functionKey1 + 35)
        return QStringLiteral("F%1").arg(keysym - functionKey1 + 1);
    const auto* found = std::find_if(keysymNames.begin(), keysymNames.end(),
                                     [&](const auto& entry) { return entry.keysym == keysym; });
    return found == keysymNames.end() ? QString() : QString::fromLatin1(found->name);
}

} // namespace

std::span<const HotkeyKeyEntry> hotkeyKeyTable()
{
    return entries;
}

std::optional<quint32> keysymForKeyCode(quint16 keyCode)
{
    const auto* found = std::find_if(entries.begin(), entries.end(),
                                     [&](const auto& entry) { return entry.keyCode == keyCode; });
    if (found == entries.end())
        return std::nullopt;
    return found->keysym;
}

QByteArray xkbKeyNameForKeyCode(quint16 keyCode)
{
    const auto* found = std::find_if(places.begin(), places.end(),
                                     [&](const auto& place) { return place.keyCode == keyCode; });
    return found == places.end() ? QByteArray() : QByteArray(found->name);
}

QString portalTriggerText(quint16 keyCode, quint32 carbonModifiers)
{
    const std::optional<quint32> keysym = keysymForKeyCode(keyCode);
    const QString key = keysym ? keysymName(*keysym) : QString();
    if (key.isEmpty())
        return {};
    QStringList parts;
    const std::pair<quint32, const char*> modifiers[] = {
        {0x1000, "CTRL"}, {0x800, "ALT"}, {0x200, "SHIFT"}, {0x100, "LOGO"}};
    for (const auto& [bit, name] : modifiers) {
        if (carbonModifiers & bit)
            parts.append(QString::fromLatin1(name));
    }
    parts.append(key);
    return parts.join(QLatin1Char('+'));
}

} // namespace morvane
