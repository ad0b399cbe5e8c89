#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace morvane {

// One bound statement parameter. An absent payload binds SQL NULL; an empty (present) blob binds a
// zero-length BLOB.
struct SQLiteValue {
    using Text = std::optional<QString>;
    using Blob = std::optional<QByteArray>;
    using Integer = std::optional<qint64>;

    std::variant<Text, Blob, Integer> payload;

    static SQLiteValue text(std::optional<QString> value) { return {Text(std::move(value))}; }
    static SQLiteValue blob(std::optional<QByteArray> value) { return {Blob(std::move(value))}; }
    static SQLiteValue integer(std::optional<qint64> value) { return {Integer(value)}; }
    static SQLiteValue null() { return {Text()}; }
};

} // namespace morvane
