// GLib's headers name struct members "signals", which Qt's headers define as a keyword: they come
// first.
#include <atspi/atspi.h>

#include "platform/AtspiElements.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

// An accessible as the library holds it, without a bus; the test's own reference stands for the
// library's.
AtspiAccessible* libraryObject()
{
    return static_cast<AtspiAccessible*>(g_object_new(ATSPI_TYPE_ACCESSIBLE, nullptr));
}

guint references(AtspiAccessible* object)
{
    return G_OBJECT(object)->ref_count;
}

} // namespace

// Every read hands over a new reference to what it finds. An element is one handle however often a job
// meets it, and the job's end lets go of exactly the references it took: one too few keeps every object
// a long session read, one too many frees an object the library still uses. A handle of an earlier job
// finds nothing, even once the same object is met again.
TEST(AtspiElements, AnObjectMetTwiceIsOneElementAndTheJobsEndLetsGoOfWhatItTook)
{
    AtspiAccessible* window = libraryObject();
    AtspiAccessible* document = libraryObject();
    AtspiElements elements;

    const AccessibilityElement first = elements.keep(static_cast<AtspiAccessible*>(g_object_ref(window)));
    const AccessibilityElement again = elements.keep(static_cast<AtspiAccessible*>(g_object_ref(window)));
    const AccessibilityElement other = elements.keep(static_cast<AtspiAccessible*>(g_object_ref(document)));
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    EXPECT_EQ(elements.find(first), window);
    EXPECT_EQ(elements.find(other), document);
    EXPECT_EQ(references(window), 2U);

    elements.releaseAll();
    EXPECT_EQ(references(window), 1U);
    EXPECT_EQ(references(document), 1U);
    EXPECT_EQ(elements.find(first), nullptr);

    const AccessibilityElement nextJob = elements.keep(static_cast<AtspiAccessible*>(g_object_ref(window)));
    EXPECT_NE(nextJob, first);
    EXPECT_EQ(elements.find(first), nullptr);
    elements.releaseAll();
    EXPECT_EQ(references(window), 1U);

    g_object_unref(window);
    g_object_unref(document);
}
