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
    return TextNeedle(part).isIn(text);
}

TextNeedle::TextNeedle(const QString& part)
    : m_folded(folded(part))
{
}

bool TextNeedle::isIn(const QString& text) const
{
    return folded(text).contains(m_folded);
}

} // namespace morvane
