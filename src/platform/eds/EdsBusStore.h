#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// As gio.h declares them; the header stays free of GLib's own.
typedef struct _GCancellable GCancellable;
typedef struct _GDBusConnection GDBusConnection;
typedef struct _GError GError;
typedef struct _GMainContext GMainContext;
typedef struct _GVariant GVariant;

namespace morvane {

// What differs between a calendar and an address book of the service: where one is opened, what it
// answers to, and how every item is asked for. Both are opened and read alike: a factory names where
// the store answers, the store is opened, its items listed as text, and a view of the same query
// reports what changed.
struct EdsStoreKind {
    const char* extension; // the group of a source's data that makes it one of these
    const char* factoryName;
    const char* factoryPath;
    const char* factoryInterface;
    const char* openMethod;
    const char* interface;
    const char* viewInterface;
    const char* listMethod;
    const char* query; // every item
    const char* what;  // for log lines
};
extern const EdsStoreKind edsCalendarKind;
extern const EdsStoreKind edsAddressBookKind;

// Bounds the calls of a load: each call is made with the cancellable beginLoad answers (cancelled when
// the load runs past its limit, or when the reader goes), and endLoad follows its answer.
class EdsLoadBound {
public:
    virtual GCancellable* beginLoad() = 0;
    virtual void endLoad() = 0;

protected:
    ~EdsLoadBound() = default;
};

// Every item of a store as text (iCalendar components, vCards), valid while this is held.
class EdsListing {
public:
    EdsListing() = default;
    explicit EdsListing(GVariant* answer); // takes the "(as)" answer over
    explicit operator bool() const { return bool(m_answer); }
    const QList<QByteArrayView>& items() const { return m_items; }

private:
    struct Unref {
        void operator()(GVariant* value) const;
    };
    std::unique_ptr<GVariant, Unref> m_answer;
    QList<QByteArrayView> m_items;
};

// One calendar or address book of the service, opened over the session bus, on the thread whose
// thread-default context runs the bus's answers. Every call is bounded by the load it belongs to.
// Going, it stops following changes and tells the service to close its view and the store, without
// waiting for an answer (the service may be stopped or hung).
class EdsBusStore {
public:
    EdsBusStore(GDBusConnection* bus, const EdsStoreKind& kind, QString uid, EdsLoadBound& bound);
    ~EdsBusStore();
    EdsBusStore(const EdsBusStore&) = delete;
    EdsBusStore& operator=(const EdsBusStore&) = delete;

    const EdsStoreKind& kind() const { return m_kind; }
    const QString& uid() const { return m_uid; }
    bool isOpen() const { return !m_path.isEmpty(); }
    // Why its last opening or listing failed: the method and the service's error, for the log. Empty
    // once it is open and its items were listed.
    const QString& failure() const { return m_failure; }
    // The same failure in the service's own words, without the method or the bus's name for the error.
    const QString& failureMessage() const { return m_failureMessage; }

    // Opens each store not open yet, all at once (each opening waits on its backend), running
    // context until every one answered, as one load. A store that fails stays closed, with its failure.
    static void openAll(const std::vector<EdsBusStore*>& stores, GMainContext* context, EdsLoadBound& bound);

    // Every item; nothing when the store is not open or the call failed (its failure).
    EdsListing list();

    // A calendar's VTIMEZONE for a TZID of its own; empty when it has none. What the calendar answered
    // is kept (an expansion asks for each TZID once).
    QByteArray zoneText(const char* tzid);

    // Follows the store's changes from now on: changed is called on this thread for each change the
    // service reports, possibly still once after this object went (so it holds nothing of it). False
    // when the store was already followed, is not open, or no view could be made.
    bool watch(std::function<void()> changed);

private:
    struct Opening;

    GDBusConnection* m_bus;
    const EdsStoreKind& m_kind;
    const QString m_uid;
    EdsLoadBound& m_bound;
    QByteArray m_busName; // where the opened store answers; empty until it is open
    QByteArray m_path;
    QByteArray m_viewPath; // the view that reports the store's changes, once followed
    unsigned m_viewSignals = 0;
    QHash<QByteArray, QByteArray> m_zones; // TZID → the VTIMEZONE the calendar keeps for it
    QString m_failure;
    QString m_failureMessage;

    void fail(const char* method, const QString& error, const QString& message);
    GVariant* call(const QByteArray& path, const char* interface, const char* method, GVariant* arguments,
                   const char* answerType, GError** error);
    void tell(const QByteArray& path, const char* interface, const char* method);
};

} // namespace morvane
