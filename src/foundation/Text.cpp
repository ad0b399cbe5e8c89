#include "Text.h"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <memory>

namespace morvane {

namespace {

// The character break iterator of this thread, set to text; nothing when ICU cannot make one.
icu::BreakIterator* characterBreaks(const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    thread_local std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (!iterator || U_FAILURE(status))
        return nullptr;
    iterator->setText(text);
    return iterator.get();
}

icu::UnicodeString unicodeAlias(const QString& text)
{
    // Read-only alias of the QString's UTF-16 buffer: no copy.
    return icu::UnicodeString(false, reinterpret_cast<const UChar*>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}

} // namespace

qsizetype graphemeCount(const QString& text)
{
    if (text.isEmpty())
        return 0;
    const icu::UnicodeString unicode = unicodeAlias(text);
    icu::BreakIterator* iterator = characterBreaks(unicode);
    if (!iterator)
        return text.size();
    qsizetype count = 0;
    for (int32_t p = iterator->next(); p != icu::BreakIterator::DONE; p = iterator->next())
        ++count;
    return count;
}

QString leftGraphemes(const QString& text, qsizetype count)
{
    if (count <= 0)
        return {};
    if (text.size() <= count)
        return text; // a cluster is at least one code unit
    const icu::UnicodeString unicode = unicodeAlias(text);
    icu::BreakIterator* iterator = characterBreaks(unicode);
    if (!iterator)
        return text.left(count);
    const int32_t end = iterator->next(static_cast<int32_t>(count));
    return end == icu::BreakIterator::DONE ? text : text.left(end);
}

QString nfc(const QString& text)
{
    return text.normalized(QString::NormalizationForm_C);
}

bool canonicallyEqual(const QString& a, const QString& b)
{
    return a == b || nfc(a) == nfc(b);
}

QString trimmedText(const QString& text)
{
    return text.trimmed();
}

} // namespace morvane
