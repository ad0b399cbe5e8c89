#pragma once

#include "foundation/Error.h"
#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <QDateTime>
#include <QUuid>

#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace morvane::test {

// A text a test writes by hand that does not read is a fault of the test: it fails the test loudly,
// where an empty optional taken as a value would read whatever the stack held.
[[noreturn]] inline void refuseUnreadTestText(const char* what, const char* text)
{
    throw std::invalid_argument(std::string("not ") + what + ": \"" + text + '"');
}

// A library date written in its text form ("2024-05-01T09:30:12.345Z", the fraction required).
inline QDateTime at(const char* libraryText)
{
    const std::optional<QDateTime> date = parseLibraryDate(QString::fromLatin1(libraryText));
    if (!date)
        refuseUnreadTestText("a library date", libraryText);
    return *date;
}

// A UUID written as text (upper or lower case, 8-4-4-4-12, no braces).
inline QUuid uuid(const char* text)
{
    const std::optional<QUuid> id = parseUuid(QString::fromLatin1(text));
    if (!id)
        refuseUnreadTestText("a UUID", text);
    return *id;
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
