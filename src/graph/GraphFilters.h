#pragma once

#include "GraphElements.h"
#include "model/LinkType.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <set>

namespace morvane {

// The scope and the filters the user chose for the graph. Every setter announces its change, also
// when the value is unchanged: the visible graph is derived again on each one.
class GraphFilters : public QObject {
    Q_OBJECT
public:
    explicit GraphFilters(QObject* parent = nullptr);

    GraphScope scope() const { return m_scope; }
    const std::set<LinkType>& typeFilters() const { return m_typeFilters; }
    const QSet<QString>& appFilters() const { return m_appFilters; }
    const QSet<QString>& tagFilters() const { return m_tagFilters; }

    void setScope(GraphScope scope);
    void setTypeFilters(std::set<LinkType> types);
    void setAppFilters(QSet<QString> apps);
    void setTagFilters(QSet<QString> tags);

signals:
    void scopeChanged();
    void filtersChanged();

private:
    GraphScope m_scope = GraphScope::all;
    std::set<LinkType> m_typeFilters;
    QSet<QString> m_appFilters;
    QSet<QString> m_tagFilters;
};

} // namespace morvane
