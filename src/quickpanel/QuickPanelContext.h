#pragma once

#include "foundation/Clock.h"
#include "model/CapturedContext.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace morvane {

class ActiveContextService;
struct CaptureResult;

// What is in front of the user, as the last capture found it: the items, or the reason there are
// none. The empty query's list is built from it.
//
// A capture answers from what the readers last read; right after a switch of window they are still
// reading the new one. While a capture has nothing and a reading is on its way, what is in front is
// not known yet: the capture is "reading" until that reading ends or its bound passes, then it is
// taken again and readingEnded() says so. A reading that no longer stands for the window when it ends
// (the window was retitled meanwhile, or caught between two pages) is followed by another, within
// the same bound.
class QuickPanelContext : public QObject {
    Q_OBJECT
public:
    // How long a capture waits for its readers before it counts as having found nothing.
    static constexpr std::chrono::milliseconds readingBound{2000};

    // The service outlives this.
    QuickPanelContext(ActiveContextService& service, std::shared_ptr<Clock> clock, QObject* parent = nullptr);
    ~QuickPanelContext() override;

    const QList<CapturedContext>& contexts() const { return m_contexts; }
    const std::optional<QString>& message() const { return m_message; }
    // While the window in front is still being read: the application's name when it is known, else
    // an empty text; nothing once what is in front is known.
    const std::optional<QString>& reading() const { return m_reading; }

    // The message while the application of this name (empty: unknown) is being read, and once its
    // reading gave nothing in time for a Return that waited for it.
    static QString readingMessage(const QString& name);
    static QString nothingReadMessage(const QString& name);

    // Asks the application in front now.
    void capture();
    // Asks again and keeps the answer when it differs: true when the items (their locators and the
    // applications they came from), the message or whether it is still reading changed. A title that
    // changes under the same item is no new item.
    bool recaptureIfChanged();
    // The same once an application said that what its window shows may have changed where its last
    // reading cannot tell (shownMayHaveChanged): what the readers kept from before counts only once
    // read again, so a Return meanwhile waits for that reading.
    bool recaptureAfterChange();

signals:
    // A reading the capture waited for ended (or its bound passed); the capture was taken again.
    void readingEnded();
    // A status bar names another selected item: the item a window names there alone (a file
    // manager's icon view) may have changed since the last reading.
    void shownMayHaveChanged();

private:
    bool recapture(QFuture<void> refreshing);
    // Takes the answer when the items or the message changed; true then.
    bool keep(CaptureResult captured);
    void take(CaptureResult captured);
    // Waits for refreshing when the capture has nothing yet; true when the reading state changed.
    bool followReading(QFuture<void> refreshing);
    // Continues on the main thread with the end of this reading.
    void whenEnded(QFuture<void> refreshing, quint64 reading);
    void endReading(quint64 reading, bool boundPassed);

    ActiveContextService& m_service;
    QList<CapturedContext> m_contexts;
    std::optional<QString> m_message;
    std::optional<QString> m_reading;
    // Each reading followed is numbered; the end of an older one changes nothing.
    quint64 m_readingNumber = 0;
    std::unique_ptr<ClockTimer> m_bound;
    bool m_changeTold = false; // shownMayHaveChanged is on its way
};

} // namespace morvane
