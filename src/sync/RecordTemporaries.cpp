#include "sync/RecordTemporaries.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSysInfo>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <unistd.h>

namespace morvane::RecordTemporaries {

namespace {

// How long the exit waits for the writes under way: one record's file, flushed to the disk.
constexpr std::chrono::seconds exitWait(2);

// Never destroyed: the writing thread may still use it while the process exits.
const QByteArray& prefix()
{
    static const QByteArray* const made = [] {
        QByteArray machine = QSysInfo::machineUniqueId();
        if (machine.isEmpty())
            machine = QSysInfo::machineHostName().toUtf8();
        const QByteArray owner = QCryptographicHash::hash(machine + "\n" + QByteArray::number(::geteuid()) +
                                                              "\nrecord temporaries",
                                                          QCryptographicHash::Sha256)
                                     .toHex()
                                     .left(16);
        return new QByteArray(".morvane-" + owner + "-");
    }();
    return *made;
}

struct UnderWay {
    std::mutex mutex;
    std::condition_variable ended;
    std::vector<QByteArray> paths;
    bool exiting = false;
    bool settledAtExit = false;
};

UnderWay& underWay()
{
    static UnderWay* const held = new UnderWay; // never destroyed, as above
    return *held;
}

void settleAtExit()
{
    UnderWay& writes = underWay();
    std::vector<QByteArray> left;
    {
        std::unique_lock lock(writes.mutex);
        writes.exiting = true;
        writes.ended.wait_for(lock, exitWait, [&writes] { return writes.paths.empty(); });
        left = writes.paths;
    }
    // A write that ends meanwhile has renamed its temporary: removing the name then finds nothing.
    for (const QByteArray& path : left)
        ::unlink(path.constData());
}

} // namespace

QByteArray newName()
{
    return prefix() + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + ".tmp";
}

bool isOurs(std::string_view fileName)
{
    const QByteArray& ours = prefix();
    return fileName.starts_with(std::string_view(ours.constData(), std::size_t(ours.size()))) &&
           fileName.ends_with(".tmp");
}

Writing::Writing(QByteArray path)
    : m_path(std::move(path))
{
    UnderWay& writes = underWay();
    const std::lock_guard lock(writes.mutex);
    m_admitted = !writes.exiting;
    if (!m_admitted)
        return;
    if (!std::exchange(writes.settledAtExit, true))
        std::atexit(settleAtExit);
    writes.paths.push_back(m_path);
}

Writing::~Writing()
{
    if (!m_admitted)
        return;
    UnderWay& writes = underWay();
    {
        const std::lock_guard lock(writes.mutex);
        writes.paths.erase(std::find(writes.paths.begin(), writes.paths.end(), m_path));
    }
    writes.ended.notify_all();
}

} // namespace morvane::RecordTemporaries
