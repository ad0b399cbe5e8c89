#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QStringList>

#include <functional>

namespace morvane {

// Where morvane: URLs wait until the library and the URL handler exist: those given on the command
// line and those later processes hand over. Main thread.
class IncomingUrls : public QObject {
    Q_OBJECT
public:
    // Handles one URL; the next one of a delivery starts when it is done.
    using Handler = std::function<QCoro::Task<>(QString url)>;

    using QObject::QObject;

    // Keeps the morvane: URLs of the list, in order (anything else is dropped without a word), and
    // hands them over at once when a handler is attached.
    void receive(const QStringList& urls);
    // Hands over what waited, then every later delivery.
    void attach(Handler handler);

private:
    // One task per delivery: its URLs one after the other, each awaited before the next.
    QCoro::Task<> handleInOrder(QStringList urls);

    Handler m_handler;
    QStringList m_pending;
};

} // namespace morvane
