#pragma once

#include "sync/RecordFileCodec.h"
#include "sync/RecordFileReader.h"
#include "sync/RecordFileStamp.h"
#include "sync/RecordStore.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace morvane {

// Decodes the files of a listing that reads every file and hands their records to a sink, on a thread
// of its own and in the order the files come, so that the thread reading the files goes on to the next
// while the last is decoded and taken in. A few batches wait at most: a reader faster than the decoding
// waits for it, and what is read ahead stays small.
//
// A failure of the sink ends the decoding: the files after it are not taken, and the error is thrown by
// the next hand() or by finish(). Destroyed before finish(), the decoder lets go of what waits and
// waits for the batch at hand.
class ListedRecordDecoder {
public:
    struct File {
        QString recordName;
        QByteArray fileName;
        RecordFileReader::Listed listed;
        QByteArray version; // handed to the sink with the record
    };
    // A file whose bytes did not hold its record.
    struct NotARecord {
        QString recordName;
        QByteArray fileName;
        RecordFileStamp stamp;
    };

    explicit ListedRecordDecoder(RecordStore::RecordSink& sink);
    ~ListedRecordDecoder();
    ListedRecordDecoder(const ListedRecordDecoder&) = delete;
    ListedRecordDecoder& operator=(const ListedRecordDecoder&) = delete;

    void hand(File file);
    // Returns once every file handed is taken in: the files that held no record of their name.
    QList<NotARecord> finish();

    static constexpr std::size_t filesPerBatch = 64;
    static constexpr std::size_t batchesWaiting = 4;
    static constexpr std::size_t batchesBetweenTrims = 32;

private:
    using Batch = std::vector<File>;

    void send(Batch batch);
    void run();
    void take(File& file);
    void rethrowFailure();

    RecordStore::RecordSink& m_sink;
    RecordFileCodec m_codec;        // the decoding thread's
    QList<NotARecord> m_notRecords; // the decoding thread's until it ends
    Batch m_filling;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_waiting;  // guarded by m_mutex
    bool m_closed = false;        // guarded by m_mutex: nothing more comes
    std::exception_ptr m_failure; // guarded by m_mutex
    std::thread m_thread;
    std::size_t m_batches = 0; // the decoding thread's
};

} // namespace morvane
