#pragma once

#include "foundation/IsoDate.h"
#include "foundation/Uuid.h"

#include <QDateTime>
#include <QUuid>

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

} // namespace morvane::test
