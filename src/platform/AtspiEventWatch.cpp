// GLib's headers name struct members "signals", which Qt's headers define as a keyword: they come
// first.
#include <atspi/atspi.h>

#include "AtspiEventWatch.h"

#include "foundation/Logging.h"
#include "platform/AtspiValues.h"

Q_DECLARE_LOGGING_CATEGORY(lcAccessibility)

namespace morvane {

AtspiEventWatch::AtspiEventWatch(std::function<void()> windowActivated,
                                 std::function<void(const QString&)> renamed)
    : m_windowActivated(std::move(windowActivated))
    , m_renamed(std::move(renamed))
{
    m_listener.reset(atspi_event_listener_new(
        [](AtspiEvent* event, void* watch) {
            static_cast<AtspiEventWatch*>(watch)->dropStale(*event);
            g_boxed_free(ATSPI_TYPE_EVENT, event);
        },
        this, nullptr));
    for (const char* type : events) {
        ErrorSlot error;
        if (!atspi_event_listener_register(m_listener.get(), type, &error))
            qCWarning(lcAccessibility) << "Could not listen to the accessibility event" << type;
    }
}

AtspiEventWatch::~AtspiEventWatch()
{
    if (m_listener) {
        for (const char* type : events) {
            ErrorSlot error;
            atspi_event_listener_deregister(m_listener.get(), type, &error);
        }
    }
    for (AtspiAccessible* object : std::as_const(m_statesKept))
        g_object_weak_unref(G_OBJECT(object), &AtspiEventWatch::released, this);
}

void AtspiEventWatch::keepStates(AtspiAccessible* object)
{
    if (m_statesKept.contains(object))
        return;
    m_statesKept.insert(object);
    g_object_weak_ref(G_OBJECT(object), &AtspiEventWatch::released, this);
}

// libatspi keeps what it read of an object (its name, role, states) in the object itself and marks
// what it holds in `cached_properties`; it has no call that forgets one entry. The field is part of
// the public `AtspiAccessible` struct (atspi-accessible.h), so its place is part of the library's ABI
// (soname libatspi.so.0); checked against at-spi2-core 2.46, Debian 12's. Clearing a bit only makes the
// library ask the application again at the next read: a wrong clear costs one round trip, never a wrong
// answer. Every call here runs on the accessibility thread, the only one that touches libatspi's objects.
void AtspiEventWatch::dropStale(const AtspiEvent& event)
{
    AtspiAccessible* source = event.source;
    if (!source)
        return;
    const QByteArrayView type(event.type);
    ++m_changesSeen;
    dropStates(source);
    if (m_windowActivated &&
        (type.startsWith("window:activate") || type.startsWith("object:state-changed:active")))
        m_windowActivated();
    if (type.startsWith("object:property-change:accessible-name")) {
        source->cached_properties &= ~ATSPI_CACHE_NAME;
        // A status bar's text is often its label's, whose role is not known here and cannot be asked
        // from inside the event: every renaming but that of an element known as something else is
        // told, with the new name.
        const bool roleKnown = source->cached_properties & ATSPI_CACHE_ROLE;
        if (m_renamed && (!roleKnown || source->role == ATSPI_ROLE_STATUS_BAR) &&
            G_VALUE_HOLDS_STRING(&event.any_data))
            m_renamed(QString::fromUtf8(g_value_get_string(&event.any_data)));
    }
    if (changesWhatIsShown(type, *source))
        dropStatesOfApplication(*source);
}

void AtspiEventWatch::dropStatesOfApplication(const AtspiAccessible& object)
{
    const AtspiApplication* application = object.parent.app;
    for (AtspiAccessible* kept : std::as_const(m_statesKept)) {
        if (kept->parent.app == application)
            dropStates(kept);
    }
}

bool AtspiEventWatch::changesWhatIsShown(QByteArrayView type, const AtspiAccessible& source)
{
    if (type.startsWith("window:") || type.startsWith("document:load-complete") ||
        type.startsWith("object:state-changed:showing"))
        return true;
    const bool roleKnown = source.cached_properties & ATSPI_CACHE_ROLE;
    return type.startsWith("object:property-change:accessible-name") &&
           (!roleKnown || source.role == ATSPI_ROLE_FRAME || source.role == ATSPI_ROLE_DOCUMENT_WEB);
}

void AtspiEventWatch::dropStates(AtspiAccessible* object)
{
    object->cached_properties &= ~ATSPI_CACHE_STATES;
}

void AtspiEventWatch::released(gpointer watch, GObject* gone)
{
    static_cast<AtspiEventWatch*>(watch)->m_statesKept.remove(reinterpret_cast<AtspiAccessible*>(gone));
}

} // namespace morvane
