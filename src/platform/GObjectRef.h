#pragma once

// GLib's headers name struct members "signals", which Qt's headers define as a keyword.
#pragma push_macro("signals")
#undef signals
#include <glib-object.h>
#pragma pop_macro("signals")

#include <memory>

namespace morvane {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};

// One reference to a GObject, let go with its owner: what a call hands over ("transfer full") is put
// into one at once.
template <class T> using GObjectRef = std::unique_ptr<T, GObjectUnref>;

} // namespace morvane
