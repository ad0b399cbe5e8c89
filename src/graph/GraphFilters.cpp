#include "GraphFilters.h"

#include <utility>

namespace morvane {

GraphFilters::GraphFilters(QObject* parent)
    : QObject(parent)
{
}

void GraphFilters::setScope(GraphScope scope)
{
    m_scope = scope;
    emit scopeChanged();
}

void GraphFilters::setTypeFilters(std::set<LinkType> types)
{
    m_typeFilters = std::move(types);
    emit filtersChanged();
}

void GraphFilters::setAppFilters(QSet<QString> apps)
{
    m_appFilters = std::move(apps);
    emit filtersChanged();
}

void GraphFilters::setTagFilters(QSet<QString> tags)
{
    m_tagFilters = std::move(tags);
    emit filtersChanged();
}

} // namespace morvane
