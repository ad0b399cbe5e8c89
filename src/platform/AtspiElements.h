#pragma once

// GLib's headers name struct members "signals", which Qt's headers define as a keyword: whoever
// includes this header includes it before any Qt header.
#include <atspi/atspi.h>

#include "platform/AccessibilityApi.h"

#include <QHash>

namespace morvane {

// The library objects the current job has met, each held once under a handle of its own; released
// when the job ends, so an element never outlives its job and a long session holds nothing between
// polls. Used on the accessibility thread only.
class AtspiElements {
public:
    // Takes over the reference to the object: one held already is let go and its handle answered.
    AccessibilityElement keep(AtspiAccessible* object);
    // Null for a handle not given out since the last release.
    AtspiAccessible* find(const AccessibilityElement& element) const;
    void releaseAll();

private:
    QHash<quint64, AtspiAccessible*> m_byHandle;
    QHash<AtspiAccessible*, quint64> m_handles;
    quint64 m_lastHandle = 0;
};

} // namespace morvane
