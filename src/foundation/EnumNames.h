#pragma once

#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <optional>

namespace morvane {

// One value of an enumeration with its name. An enumeration with names lists them once, as a
// constexpr table of these in its own file, and goes through the lookups below both ways; the order
// of the table is the order in which the values are listed.
template <class Enum> struct EnumName {
    Enum value;
    const char* name; // ASCII
};

// The name of value: the first entry that has it; nullptr when the table has none.
template <class Enum, std::size_t N> const char* enumName(const EnumName<Enum> (&table)[N], Enum value)
{
    for (const EnumName<Enum>& entry : table) {
        if (entry.value == value)
            return entry.name;
    }
    return nullptr;
}

// The name of value as text; empty when the table has none.
template <class Enum, std::size_t N> QString enumNameText(const EnumName<Enum> (&table)[N], Enum value)
{
    return QString::fromLatin1(enumName(table, value));
}

// The value of the first entry named exactly name (case counts).
template <class Enum, std::size_t N>
std::optional<Enum> enumValue(const EnumName<Enum> (&table)[N], QStringView name)
{
    for (const EnumName<Enum>& entry : table) {
        if (name == QLatin1String(entry.name))
            return entry.value;
    }
    return std::nullopt;
}

// Every value of the table, in its order.
template <class Enum, std::size_t N> QList<Enum> enumValues(const EnumName<Enum> (&table)[N])
{
    QList<Enum> values;
    values.reserve(qsizetype(N));
    for (const EnumName<Enum>& entry : table)
        values.append(entry.value);
    return values;
}

} // namespace morvane
