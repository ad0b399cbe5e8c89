// The entry point of libmorvane-eds.so, which the application loads on the first look at the
// desktop's calendars or address books.
#include "platform/eds/EdsStoreReader.h"

#include <type_traits>

extern "C" Q_DECL_EXPORT morvane::EdsReader* morvane_make_eds_reader_1(bool calendars, bool contacts)
{
    return new morvane::EdsStoreReader(calendars, contacts);
}

static_assert(std::is_same_v<decltype(&morvane_make_eds_reader_1), morvane::MakeEdsReader>);
