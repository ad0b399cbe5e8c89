#include "sync/ListedRecordDecoder.h"

#include "foundation/FreedMemory.h"

#include <pthread.h>

namespace morvane {

ListedRecordDecoder::ListedRecordDecoder(RecordStore::RecordSink& sink)
    : m_sink(sink)
{
    m_filling.reserve(filesPerBatch);
    m_thread = std::thread([this] {
        pthread_setname_np(pthread_self(), "morvane-decode");
        run();
    });
}

ListedRecordDecoder::~ListedRecordDecoder()
{
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        m_waiting.clear();
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ListedRecordDecoder::hand(File file)
{
    m_filling.push_back(std::move(file));
    if (m_filling.size() < filesPerBatch)
        return;
    Batch full = std::exchange(m_filling, Batch());
    m_filling.reserve(filesPerBatch);
    send(std::move(full));
}

QList<ListedRecordDecoder::NotARecord> ListedRecordDecoder::finish()
{
    if (m_thread.joinable()) {
        if (!m_filling.empty())
            send(std::exchange(m_filling, Batch()));
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true; // the thread takes in what waits, then ends
        }
        m_changed.notify_all();
        m_thread.join();
    }
    rethrowFailure();
    return std::exchange(m_notRecords, {});
}

void ListedRecordDecoder::send(Batch batch)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_waiting.size() < batchesWaiting || m_failure; });
    if (m_failure) {
        lock.unlock();
        rethrowFailure();
    }
    m_waiting.push_back(std::move(batch));
    m_changed.notify_all();
}

void ListedRecordDecoder::run()
{
    for (;;) {
        Batch batch;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_waiting.empty() || m_closed; });
            if (m_waiting.empty())
                return;
            batch = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        // A place is free: the reader may send the next batch while this one is taken in.
        m_changed.notify_all();
        try {
            for (File& file : batch)
                take(file);
            // Decoding frees as much as it keeps, in the heaps of three threads at once: given back as it
            // goes, what a whole folder's listing holds at its end is what it keeps.
            if (++m_batches % batchesBetweenTrims == 0)
                releaseFreedMemory();
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            m_failure = std::current_exception();
            m_waiting.clear();
            m_changed.notify_all();
            return;
        }
    }
}

void ListedRecordDecoder::take(File& file)
{
    std::optional<CloudRecord> record =
        file.listed.record ? std::move(file.listed.record) : m_codec.decode(file.listed.bytes);
    file.listed.bytes = QByteArray(); // let go before the next file is decoded
    if (!record || record->recordName() != file.recordName) {
        m_notRecords.append({file.recordName, file.fileName, file.listed.stamp});
        return;
    }
    if (RecordFileCodec::mayHoldType(file.recordName, record->recordType()))
        m_sink.take(std::move(*record), std::move(file.version));
}

void ListedRecordDecoder::rethrowFailure()
{
    std::exception_ptr failure;
    {
        const std::lock_guard lock(m_mutex);
        failure = m_failure;
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace morvane
