#pragma once

#include <QThreadPool>

#include <functional>

namespace morvane {

// The threads on which the store does its file work (hashing, bookmark checks, folder walks), so
// that the store thread itself only ever waits for the database.
class FileWorkPool {
public:
    FileWorkPool();
    // Waits for the work already started.
    ~FileWorkPool();
    FileWorkPool(const FileWorkPool&) = delete;
    FileWorkPool& operator=(const FileWorkPool&) = delete;

    // Starts a job that reports its own outcome.
    void post(std::function<void()> job) { m_pool.start(std::move(job)); }

    void waitForDone() { m_pool.waitForDone(); }

private:
    QThreadPool m_pool;
};

} // namespace morvane
