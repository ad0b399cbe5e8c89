#pragma once

#include "foundation/Error.h"
#include "model/LibraryReset.h"
#include "sync/SyncStatus.h"

#include <QCoroTask>
#include <QStringList>

namespace morvane {

class LinkStore;

// A sync step that failed; the description is shown to the user as it is.
class SyncError : public Error {
public:
    using Error::Error;

    // The account cannot be used: "CloudKit is not ready: Not signed in."
    static SyncError unavailable(SyncStatus status);
};

// The remote erase ran, but the record store still lists links or relations afterwards.
class EraseRemoteDataError : public Error {
public:
    EraseRemoteDataError(qsizetype linkCount, qsizetype relationCount);
    qsizetype linkCount() const { return m_linkCount; }
    qsizetype relationCount() const { return m_relationCount; }

private:
    qsizetype m_linkCount;
    qsizetype m_relationCount;
};

// An error of the record store itself, with its numeric code and the code's name.
class CloudKitError : public Error {
public:
    // The codes this system tells apart, with the record store's own numbering.
    enum Code {
        internalError = 1,
        notAuthenticated = 9,
        unknownItem = 11,
        invalidArguments = 12,
        serverRecordChanged = 14,
        serverRejectedRequest = 15,
        limitExceeded = 27,
    };

    CloudKitError(int code, QString codeName, QString description)
        : Error(std::move(description))
        , m_code(code)
        , m_codeName(std::move(codeName))
    {
    }
    // The code's name is the one the record store gives it ("unknownItem" for 11).
    CloudKitError(Code code, QString description);

    int code() const { return m_code; }
    const QString& codeName() const { return m_codeName; }

private:
    int m_code;
    QString m_codeName;
};

// A store error that concerns one record only: what is stored under its name cannot be used (the record
// folder holds a link, a FIFO or a folder there, or a file it cannot read), or the record is over the
// store's size limit. A pass leaves that record out, goes on with the others and names it at its end.
// The reason does not name the record: the caller names it its own way.
class UnusableRecordError : public CloudKitError {
public:
    UnusableRecordError(Code code, const QString& recordName, QString reason);
    const QString& reason() const { return m_reason; }

private:
    QString m_reason;
};

// A pass that did all it could but left records out (each an UnusableRecordError): each is listed as
// "what: why", and the error's text names them.
class SkippedRecordsError : public SyncError {
public:
    explicit SkippedRecordsError(QStringList skipped);
    const QStringList& skipped() const { return m_skipped; }

private:
    QStringList m_skipped;
};

// The private record store the library syncs with. Every call runs its I/O away from the main
// thread and resumes the caller on its own thread; failures are thrown (SyncError or the store's
// own errors).
class CloudKitSyncService {
public:
    virtual ~CloudKitSyncService() = default;

    // One full pass: afterwards the local library and the record store agree.
    virtual QCoro::Task<void> sync(LinkStore& store) = 0;
    // ready when the account can be used; notSignedIn when there is none (or it cannot be told);
    // error when it is there but refused or out of reach.
    virtual QCoro::Task<SyncStatus> accountStatus() = 0;
    // Deletes every remote record and leaves a new reset marker, which it answers. Fails when the
    // account is not ready.
    virtual QCoro::Task<LibraryReset> eraseRemoteData() = 0;
};

} // namespace morvane
