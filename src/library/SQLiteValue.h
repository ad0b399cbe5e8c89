#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <variant>

namespace morvane {

// One bound statement parameter. An absent payload binds SQL NULL; an empty (present) blob binds a
// zero-length BLOB. Texts are most parameters, so a text (or an optional one) converts by itself.
struct SQLiteValue {
    using Text = std::optional<QString>;
    using Blob = std::optional<QByteArray>;
    using Integer = std::optional<qint64>;

    std::variant<Text, Blob, Integer> payload;

    SQLiteValue(const QString& value)
        : payload(Text(value))
    {
    }
    SQLiteValue(std::optional<QString> value = std::nullopt)
        : payload(Text(std::move(value)))
    {
    }

    static SQLiteValue text(std::optional<QString> value) { return SQLiteValue(std::move(value)); }
    static SQLiteValue blob(std::optional<QByteArray> value) { return of(Blob(std::move(value))); }
    static SQLiteValue integer(std::optional<qint64> value) { return of(Integer(value)); }
    static SQLiteValue null() { return SQLiteValue(); }

private:
    static SQLiteValue of(std::variant<Text, Blob, Integer> payload)
    {
        SQLiteValue value;
        value.payload = std::move(payload);
        return value;
    }
};

} // namespace morvane
