// The entry point of libmorvane-eds.so, which the application loads on the first look at the
// desktop's calendars or address books.
#include "platform/eds/EdsStoreReader.h"

#include <type_traits>

extern "C" Q_DECL_EXPORT morvane::EdsReader* morvane_make_eds_reader_3(bool calendars, bool contacts,
                                                                       std::function<void()> failuresChanged)
{
    return new morvane::EdsStoreReader(calendars, contacts, std::move(failuresChanged));
}

static_assert(std::is_same_v<decltype(&morvane_make_eds_reader_3), morvane::MakeEdsReader>);
