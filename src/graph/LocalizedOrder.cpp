#include "LocalizedOrder.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <numeric>

namespace morvane {

LocalizedOrder::LocalizedOrder()
{
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

void LocalizedOrder::sort(QStringList& texts) const
{
    std::stable_sort(texts.begin(), texts.end(),
                     [this](const QString& a, const QString& b) { return less(a, b); });
}

std::vector<qsizetype> LocalizedOrder::order(const QList<QString>& texts) const
{
    std::vector<qsizetype> indexes(size_t(texts.size()));
    std::iota(indexes.begin(), indexes.end(), qsizetype(0));
    // The C locale's sort keys keep letter case apart although its comparison ignores it.
    if (m_collator.locale().language() == QLocale::C) {
        std::stable_sort(indexes.begin(), indexes.end(),
                         [&](qsizetype a, qsizetype b) { return less(texts[a], texts[b]); });
        return indexes;
    }
    std::vector<QCollatorSortKey> keys;
    keys.reserve(size_t(texts.size()));
    for (const QString& text : texts)
        keys.push_back(m_collator.sortKey(text));
    std::stable_sort(indexes.begin(), indexes.end(), [&keys](qsizetype a, qsizetype b) {
        return keys[size_t(a)].compare(keys[size_t(b)]) < 0;
    });
    return indexes;
}

} // namespace morvane
