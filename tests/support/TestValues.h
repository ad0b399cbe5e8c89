#pragma once

#include "foundation/Error.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <QDateTime>
#include <QUuid>

#include <optional>
#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace morvane::test {

// A library date written in its text form ("2024-05-01T09:30:12.345Z"); the text must be valid.
inline QDateTime at(const char* libraryText)
{
    return *parseLibraryDate(QString::fromLatin1(libraryText));
}

// A UUID written as text; the text must be valid.
inline QUuid uuid(const char* text)
{
    return *parseUuid(QString::fromLatin1(text));
}

// The error of type E the call throws, or nothing when it returns (any other exception escapes).
template <class E = Error, class Call> std::optional<E> thrownError(Call&& call)
{
    try {
        call();
    } catch (const E& error) {
        return error;
    }
    return std::nullopt;
}

// The message the user would see for what the call throws, or "no error".
template <class Call> QString errorText(Call&& call)
{
    const std::optional<Error> error = thrownError(std::forward<Call>(call));
    return error ? error->localizedDescription() : "no error";
}

} // namespace morvane::test
