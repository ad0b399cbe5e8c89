#include "TextMatching.h"

#include "foundation/Text.h"

namespace morvane {

namespace {

QString folded(const QString& text)
{
    return nfc(text).toCaseFolded();
}

} // namespace

bool sameTextIgnoringCase(const QString& a, const QString& b)
{
    return folded(a) == folded(b);
}

bool containsIgnoringCase(const QString& text, const QString& part)
{
    return folded(text).contains(folded(part));
}

} // namespace morvane
