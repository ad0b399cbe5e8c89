#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

namespace morvane {

class AlertPresenter;
class ItemOpening;
class LinkStore;

// Opens the saved item named by a morvane://open/<id> link that another application followed. Only
// that exact form is accepted: anything else in such a link may have been put there to make us open
// something the user did not ask for.
class MorvaneURLHandler {
public:
    // bringForward raises the application (keeping its task bar presence as the user chose) before an
    // item opens or an alert is shown, so the alert is not left behind the window that sent the link.
    MorvaneURLHandler(std::shared_ptr<AlertPresenter> alerts, std::function<void()> bringForward);

    // The item's id: scheme "morvane" and host "open" in any letter case, a path that is one id
    // (8-4-4-4-12 hex, either case) between optional slashes, no query and no fragment, not even an
    // empty one. The path is read fully decoded, so an encoded slash is still a slash.
    static std::optional<QUuid> parse(const QString& url);

    // Main thread. Looks the item up, opens it and records the open; every failure is logged and,
    // unless the link was malformed, shown to the user. Never throws.
    QCoro::Task<> handle(QString url, LinkStore& store, ItemOpening& opening);

private:
    void showNotFound(const QUuid& id);
    void showError(const QString& description);

    std::shared_ptr<AlertPresenter> m_alerts;
    std::function<void()> m_bringForward;
};

} // namespace morvane
