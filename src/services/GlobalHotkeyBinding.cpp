#include "GlobalHotkeyBinding.h"

#include "foundation/KeyText.h"

#include <QHash>

#include <nlohmann/json.hpp>

#include <limits>

namespace morvane {

namespace {

using nlohmann::json;

constexpr quint16 firstModifierKey = 54;
constexpr quint16 lastModifierKey = 62;

// The three name tables, each built on first use from its key codes in name order.
template <std::size_t N, class Name>
QHash<quint16, QString> namesInOrder(const quint16 (&codes)[N], Name name)
{
    QHash<quint16, QString> names;
    for (std::size_t i = 0; i < N; ++i)
        names.insert(codes[i], name(int(i)));
    return names;
}

const QHash<quint16, QString>& digitNames()
{
    static const quint16 codes[10] = {29, 18, 19, 20, 21, 23, 22, 26, 28, 25};
    static const auto names = namesInOrder(codes, [](int i) { return QString::number(i); });
    return names;
}

const QHash<quint16, QString>& letterNames()
{
    static const quint16 codes[26] = {0,  11, 8,  2,  14, 3, 5,  4,  34, 38, 40, 37, 46,
                                      45, 31, 35, 12, 15, 1, 17, 32, 9,  13, 7,  16, 6};
    static const auto names = namesInOrder(codes, [](int i) { return QString(QChar(u'A' + i)); });
    return names;
}

const QHash<quint16, QString>& functionKeyNames()
{
    static const quint16 codes[20] = {122, 120, 99,  118, 96,  97,  98, 100, 101, 109,
                                      103, 111, 105, 107, 113, 106, 64, 79,  80,  90};
    static const auto names = namesInOrder(codes, [](int i) { return QStringLiteral("F%1").arg(i + 1); });
    return names;
}

template <class Field> std::optional<Field> unsignedField(const json& object, const char* key)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number_integer())
        return std::nullopt;
    if (found->is_number_unsigned()) {
        const auto value = found->get<std::uint64_t>();
        if (value > std::numeric_limits<Field>::max())
            return std::nullopt;
        return static_cast<Field>(value);
    }
    const auto value = found->get<std::int64_t>();
    if (value < 0 || static_cast<std::uint64_t>(value) > std::numeric_limits<Field>::max())
        return std::nullopt;
    return static_cast<Field>(value);
}

// Global shortcuts take the Super key as Command.
unsigned linuxModifiers(quint32 carbonModifiers)
{
    unsigned modifiers = 0;
    if (carbonModifiers & GlobalHotkeyBinding::controlKey)
        modifiers = modifiers | KeyModifier::ctrl;
    if (carbonModifiers & GlobalHotkeyBinding::optionKey)
        modifiers = modifiers | KeyModifier::alt;
    if (carbonModifiers & GlobalHotkeyBinding::shiftKey)
        modifiers = modifiers | KeyModifier::shift;
    if (carbonModifiers & GlobalHotkeyBinding::commandKey)
        modifiers = modifiers | KeyModifier::super;
    return modifiers;
}

} // namespace

bool GlobalHotkeyBinding::isValid() const
{
    return carbonModifiers != 0 && !isModifierKey(keyCode);
}

QString GlobalHotkeyBinding::displayString() const
{
    const QString symbols = modifierSymbols(carbonModifiers);
    if (isModifierKey(keyCode))
        return symbols.isEmpty() ? QStringLiteral("…") : symbols;
    return symbols + keyName(keyCode);
}

QString GlobalHotkeyBinding::shortcutText() const
{
    if (isModifierKey(keyCode))
        return carbonModifiers == 0 ? QStringLiteral("…") : modifierText(carbonModifiers);
    return keyCombinationText(linuxModifiers(carbonModifiers), keyText(keyCode));
}

QByteArray GlobalHotkeyBinding::toJson() const
{
    // Written by hand: the key order is part of the stored form.
    return QByteArrayLiteral("{\"keyCode\":") + QByteArray::number(keyCode) +
           QByteArrayLiteral(",\"carbonModifiers\":") + QByteArray::number(carbonModifiers) + '}';
}

std::optional<GlobalHotkeyBinding> GlobalHotkeyBinding::fromJson(const QByteArray& text)
{
    const json parsed = json::parse(text.constBegin(), text.constEnd(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return std::nullopt;
    const auto keyCode = unsignedField<quint16>(parsed, "keyCode");
    const auto modifiers = unsignedField<quint32>(parsed, "carbonModifiers");
    if (!keyCode || !modifiers)
        return std::nullopt;
    return GlobalHotkeyBinding{*keyCode, *modifiers};
}

bool GlobalHotkeyBinding::isModifierKey(quint16 keyCode)
{
    return keyCode >= firstModifierKey && keyCode <= lastModifierKey;
}

QString GlobalHotkeyBinding::modifierSymbols(quint32 carbonModifiers)
{
    QString symbols;
    if (carbonModifiers & controlKey)
        symbols += u'⌃';
    if (carbonModifiers & optionKey)
        symbols += u'⌥';
    if (carbonModifiers & shiftKey)
        symbols += u'⇧';
    if (carbonModifiers & commandKey)
        symbols += u'⌘';
    return symbols;
}

QString GlobalHotkeyBinding::modifierText(quint32 carbonModifiers)
{
    return keyCombinationText(linuxModifiers(carbonModifiers), {});
}

QString GlobalHotkeyBinding::keyText(quint16 keyCode)
{
    switch (keyCode) {
    case 36:
    case 76:
        return KeyName::returnKey;
    case 48:
        return KeyName::tab;
    case 51:
        return KeyName::backspace;
    default:
        return keyName(keyCode);
    }
}

QString GlobalHotkeyBinding::keyName(quint16 keyCode)
{
    for (const auto* names : {&digitNames(), &letterNames(), &functionKeyNames()}) {
        const auto found = names->constFind(keyCode);
        if (found != names->cend())
            return *found;
    }
    switch (keyCode) {
    case 36:
    case 76:
        return QStringLiteral("↩");
    case 48:
        return QStringLiteral("⇥");
    case 49:
        return QStringLiteral("Space");
    case 51:
        return QStringLiteral("⌫");
    case 53:
        return QStringLiteral("Esc");
    default:
        return QStringLiteral("Key ") + QString::number(keyCode);
    }
}

quint32 GlobalHotkeyBinding::carbonModifiersFromEventFlags(quint64 flags)
{
    quint32 modifiers = 0;
    if (flags & controlFlag)
        modifiers |= controlKey;
    if (flags & optionFlag)
        modifiers |= optionKey;
    if (flags & shiftFlag)
        modifiers |= shiftKey;
    if (flags & commandFlag)
        modifiers |= commandKey;
    return modifiers;
}

quint32 GlobalHotkeyBinding::carbonModifiersFromQt(Qt::KeyboardModifiers modifiers)
{
    quint32 result = 0;
    if (modifiers & Qt::ControlModifier)
        result |= controlKey;
    if (modifiers & Qt::AltModifier)
        result |= optionKey;
    if (modifiers & Qt::ShiftModifier)
        result |= shiftKey;
    if (modifiers & Qt::MetaModifier)
        result |= commandKey;
    return result;
}

} // namespace morvane
