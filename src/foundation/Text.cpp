#include "Text.h"

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <memory>

namespace morvane {

qsizetype graphemeCount(const QString& text)
{
    if (text.isEmpty())
        return 0;
    UErrorCode status = U_ZERO_ERROR;
    thread_local std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (!iterator || U_FAILURE(status))
        return text.size();
    const icu::UnicodeString unicode(reinterpret_cast<const UChar*>(text.utf16()),
                                     static_cast<int32_t>(text.size()));
    iterator->setText(unicode);
    qsizetype count = 0;
    for (int32_t p = iterator->next(); p != icu::BreakIterator::DONE; p = iterator->next())
        ++count;
    return count;
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
