#include "FileWorkPool.h"

namespace morvane {

FileWorkPool::FileWorkPool()
{
    m_pool.setObjectName(QStringLiteral("morvane-files"));
    // The store's operations take turns (see OrderedLane), so one file job at a time is the usual
    // load; a second thread keeps a late job (or an open finding its file) from queueing behind a
    // long hash.
    m_pool.setMaxThreadCount(2);
}

FileWorkPool::~FileWorkPool()
{
    m_pool.waitForDone();
}

} // namespace morvane
