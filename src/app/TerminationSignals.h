#pragma once

#include <QObject>

class QSocketNotifier;

namespace morvane {

// Turns SIGTERM, SIGINT and SIGHUP into a signal on the main thread, so that they end the event loop
// as Quit does: the object graph is torn down in order and the exit status is 0. A handler may only
// write to a descriptor, so each arrival is one byte on a socket pair that the event loop watches.
// A second arrival of the same signal ends the process at once, should the orderly shutdown hang.
// One instance per process.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace morvane
