#pragma once

// GLib's headers name struct members "signals", which Qt's headers define as a keyword.
#pragma push_macro("signals")
#undef signals
#include <glib.h>
#pragma pop_macro("signals")

#include <QString>

namespace morvane {

// Where a GLib call puts its error, passed as a GError** is: `call(..., &error)`. Cleared when it goes,
// and each time it is handed to a call again.
struct ErrorSlot {
    GError* error = nullptr;

    ErrorSlot() = default;
    ErrorSlot(const ErrorSlot&) = delete;
    ErrorSlot& operator=(const ErrorSlot&) = delete;
    ~ErrorSlot() { g_clear_error(&error); }

    GError** operator&()
    {
        g_clear_error(&error);
        return &error;
    }
    explicit operator bool() const { return error != nullptr; }
    // The error's message, for a log line.
    QString text() const
    {
        return error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    }
};

} // namespace morvane
