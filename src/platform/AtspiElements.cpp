// GLib's headers name struct members "signals", which Qt's headers define as a keyword: they come
// first.
#include <atspi/atspi.h>

#include "AtspiElements.h"

namespace morvane {

AccessibilityElement AtspiElements::keep(AtspiAccessible* object)
{
    if (const auto known = m_handles.constFind(object); known != m_handles.cend()) {
        g_object_unref(object); // held already
        return {known.value()};
    }
    const quint64 handle = ++m_lastHandle;
    m_byHandle.insert(handle, object);
    m_handles.insert(object, handle);
    return {handle};
}

AtspiAccessible* AtspiElements::find(const AccessibilityElement& element) const
{
    return m_byHandle.value(element.handle);
}

void AtspiElements::releaseAll()
{
    for (AtspiAccessible* object : std::as_const(m_byHandle))
        g_object_unref(object);
    m_byHandle.clear();
    m_handles.clear();
}

} // namespace morvane
