#pragma once

// GLib's headers name struct members "signals", which Qt's headers define as a keyword.
#pragma push_macro("signals")
#undef signals
#include <glib.h>
#pragma pop_macro("signals")

#include <QString>

namespace morvane {

// Where a GLib call puts its error; cleared when it goes, and before it is handed out again.
struct ErrorSlot {
    GError* error = nullptr;

    ErrorSlot() = default;
    ErrorSlot(const ErrorSlot&) = delete;
    ErrorSlot& operator=(const ErrorSlot&) = delete;
    ~ErrorSlot() { g_clear_error(&error); }

    GError** out()
    {
        g_clear_error(&error);
        return &error;
    }
    GError** operator&() { return out(); }
    explicit operator bool() const { return error != nullptr; }
    // The error's message, for a log line.
    QString text() const
    {
        return error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    }
};

} // namespace morvane
