#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QStringList>

#include <functional>

namespace morvane {

// The command-line entries for the running copy. The first two toggle a window as its global
// shortcut does: a desktop that gives no application global shortcuts (a Wayland session without the
// shortcuts portal) binds them to keys in its own keyboard settings. The last two are the tray menu's
// "Preferences…" and "Quit Morvane", for a desktop without a tray.
inline const QString quickPanelCommand = QStringLiteral("--quick-panel");
inline const QString graphCommand = QStringLiteral("--graph");
inline const QString preferencesCommand = QStringLiteral("--preferences");
inline const QString quitCommand = QStringLiteral("--quit");
// What a launch with neither links nor commands hands over (the menu entry chosen again while Morvane
// runs): the running copy shows its quick panel, and never hides it. Not an option a user types.
inline const QString activateCommand = QStringLiteral("--activate");
// The launching desktop's activation token travels as one more item, "--activation-token=<token>", so
// that the window it brings forward is let in front. A copy that does not know it drops it.
inline const QString activationTokenPrefix = QStringLiteral("--activation-token=");

// The handshake item that carries the launching environment's activation token (an X11 startup id,
// else a Wayland activation token); empty when there is none.
QString activationTokenItem();

// What of a command line (or of a later process's delivery) is for the running copy: the morvane: URLs
// and the window commands, in order; anything else is dropped.
QStringList incomingItems(const QStringList& arguments);

// Where morvane: URLs and window commands wait until the library, the URL handler and the windows
// exist: those given on the command line and those later processes hand over. Main thread.
class IncomingUrls : public QObject {
    Q_OBJECT
public:
    // Handles one URL or window command, with the activation token its launch carried (empty for
    // none); the next one of a delivery starts when it is done.
    using Handler = std::function<QCoro::Task<>(QString item, QString activationToken)>;

    using QObject::QObject;

    // Keeps the incoming items of the list, in order (anything else is dropped without a word), and
    // hands them over at once when a handler is attached.
    void receive(const QStringList& urls);
    // Hands over what waited, then every later delivery.
    void attach(Handler handler);

private:
    struct Delivery {
        QStringList items;
        QString activationToken;
    };
    // One task per delivery (or for what waited): the URLs one after the other, each awaited before
    // the next.
    QCoro::Task<> handleInOrder(QList<Delivery> deliveries);

    Handler m_handler;
    QList<Delivery> m_pending;
};

} // namespace morvane
