#pragma once

#include <QCollator>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace morvane {

// The order in which the graph lists texts to the user and pairs links for suggestions: the user's
// locale, ignoring letter case. Sorts are stable, so texts that compare equal keep their order.
// One instance per thread (a collator is not shared across threads).
class LocalizedOrder {
public:
    LocalizedOrder();

    // True only when a comes strictly before b.
    bool less(const QString& a, const QString& b) const { return m_collator.compare(a, b) < 0; }
    void sort(QStringList& texts) const;
    // The indexes of texts in sorted order; each text is reduced to a sort key once, which is what
    // makes ordering a whole library affordable.
    std::vector<qsizetype> order(const QList<QString>& texts) const;

private:
    QCollator m_collator;
};

} // namespace morvane
