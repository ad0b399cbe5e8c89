#pragma once

#include "foundation/StoreExecutor.h"

#include <QFlags>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <type_traits>

namespace morvane {

// Whether this process may read other applications' windows.
enum class AccessibilityTrust {
    granted,
    notGranted,  // the user can grant it
    notAvailable // this system has no such interface
};

// One element of another application's interface (an application, a window, a control). A handle
// that only the interface that gave it understands, and only within the job that found it.
struct AccessibilityElement {
    quint64 handle = 0;
    bool operator==(const AccessibilityElement&) const = default;
};

// One attribute's value. text holds the value of a text, the absolute string of a URL, the plain
// characters of an attributed text and the string form of a number; elements the element or the
// list of elements.
struct AccessibilityValue {
    enum class Kind { text, url, attributedText, number, element, elementList, other };

    Kind kind = Kind::other;
    QString text;
    QList<AccessibilityElement> elements;

    bool operator==(const AccessibilityValue&) const = default;
};

// The roles a capture tells apart; every other role reads as other.
enum class AccessibilityRole {
    other,
    application,
    frame,
    window,
    dialog,
    documentWeb,
    documentFrame,
    documentText,
    documentEmail,
    menuBar,
    menu,
    popupMenu,
    menuItem,
    pageTabList,
    pageTab,
    toolBar,
    statusBar,
    panel,
    filler,
    scrollPane,
    section,
    paragraph,
    heading,
    label,
    link,
    pushButton,
    entry,
    text,
    table,
    treeTable,
    tableRow,
    tableCell,
    tree,
    treeItem,
    list,
    listItem,
    layeredPane,
    icon,
    canvas,
    image,
};

enum class AccessibilityState : quint32 {
    active = 1U << 0,  // the window the user works in (a frame, a dialog)
    showing = 1U << 1, // visible and on screen: background tabs are not
    visible = 1U << 2,
    focused = 1U << 3,
    selected = 1U << 4,
    focusable = 1U << 5,
    selectable = 1U << 6,
    editable = 1U << 7,
    expanded = 1U << 8,
    multiselectable = 1U << 9,
    iconified = 1U << 10,
    defunct = 1U << 11, // the element is gone
};
Q_DECLARE_FLAGS(AccessibilityStates, AccessibilityState)
Q_DECLARE_OPERATORS_FOR_FLAGS(AccessibilityStates)

// One application on the bus.
struct AccessibilityApplication {
    AccessibilityElement element;
    qint64 processId = 0;
    QString name;
};

// What this process may do with the desktop's accessibility bus, and what the bus announces. Callable
// from any thread; the signals arrive on the main thread.
class AccessibilitySession : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The last known trust; "not available" until the first check has answered.
    virtual AccessibilityTrust trust() const = 0;
    // Checks the trust again on the accessibility thread; trustChanged() follows when it changed.
    virtual QFuture<AccessibilityTrust> refreshTrust() = 0;
    // Turns reading on for the desktop once the user has agreed; trustChanged() follows.
    virtual void requestTrust() = 0;

signals:
    void trustChanged();
    // Another application's window was activated, or a frame became or stopped being active: the
    // window in front may have changed. On the main thread.
    void windowActivated();
    // An element that may be a status bar (one known as one, or one whose role is not known yet)
    // now says name: what a window names there alone (the item selected in a file manager's icon
    // view) may have changed. On the main thread.
    void statusMayHaveChanged(const QString& name);
};

// Reads other applications' interfaces over the desktop's accessibility bus.
//
// The bus library is not thread-safe and another application may take long to answer, so every read
// runs on one accessibility thread that the implementation owns, never on the main thread: callers
// hand it a job with run() and await the future (QCoro resumes on the awaiting thread). post() and
// run() may be called from any thread; the reads only from inside a job. An element is valid within
// the job that found it: jobs hand back values, never elements. Each read is bounded in time and
// answers nothing (an empty value, no element) when it fails: a missing child, an application gone or
// hung, a read off the accessibility thread.
class AccessibilityElements {
public:
    virtual ~AccessibilityElements() = default;

    // Queues job on the accessibility thread; false, and the job is dropped, once shutting down.
    virtual bool post(std::function<void()> job) = 0;
    // Runs fn(*this) on the accessibility thread. What fn throws reaches the future unchanged.
    template <class F> auto run(F fn) -> QFuture<std::invoke_result_t<F, AccessibilityElements&>>
    {
        return startPromised([this, fn = std::move(fn)]() mutable { return fn(*this); },
                             [this](std::function<void()> job) { return post(std::move(job)); });
    }

    // --- Reads, inside a job only -------------------------------------------------------------------

    // The applications on the bus in the bus's order, this process left out.
    virtual QList<AccessibilityApplication> applications() const = 0;
    virtual AccessibilityRole role(const AccessibilityElement& element) const = 0; // other when unreadable
    virtual std::optional<QString> name(const AccessibilityElement& element) const = 0;
    virtual std::optional<QString> description(const AccessibilityElement& element) const = 0;
    // Empty when unreadable.
    virtual AccessibilityStates states(const AccessibilityElement& element) const = 0;
    // The element's own attributes (for example a web document's "tag"); empty when unreadable.
    virtual QHash<QString, QString> attributes(const AccessibilityElement& element) const = 0;
    // A document's attributes (a web page's "DocURL" or "URI"); empty when it is no document.
    virtual QHash<QString, QString> documentAttributes(const AccessibilityElement& element) const = 0;
    // The whole text of an element with text, cut at maxLength characters; nothing without text.
    virtual std::optional<QString> text(const AccessibilityElement& element, int maxLength = 4096) const = 0;
    virtual std::optional<int> childCount(const AccessibilityElement& element) const = 0;
    virtual std::optional<AccessibilityElement> childAt(const AccessibilityElement& element,
                                                        int index) const = 0;
    // How many children a list, table or tree selects; nothing when it cannot say.
    virtual std::optional<int> selectedChildCount(const AccessibilityElement& element) const = 0;
    // Its index-th selected child (counted from 0 among the selected ones).
    virtual std::optional<AccessibilityElement> selectedChildAt(const AccessibilityElement& element,
                                                                int index) const = 0;
    // The page a document view shows, counted from 1; nothing when it is no paged document.
    virtual std::optional<int> documentCurrentPage(const AccessibilityElement& element) const = 0;
    // From here on, the states of the application's elements are asked of the application again
    // rather than answered from what was kept of them (kept true by the events it sends): a change it
    // made just now (another tab brought in front) may have its event still on the way.
    virtual void readStatesAfresh(const AccessibilityElement& application) const = 0;
    // A count that moves each time an application on the bus announces a change of what it shows (a
    // window activated, an element shown, hidden, focused or selected, a selection or a list's cursor
    // moved, a document loaded, a name changed): a reader that found nothing may skip its walk while
    // it stays. Nothing when this interface cannot tell; then anything may have changed.
    virtual std::optional<quint64> changeStamp() const = 0;

    // Reads in the desktop's older naming ("AXTitle", "AXRole", "AXChildren", "AXFocusedWindow",
    // "AXURL", ...), for the readers written in those names. Inside a job only.
    virtual std::optional<AccessibilityElement> applicationElement(qint64 processId) const = 0;
    // Nothing when the attribute cannot be read or has no value.
    virtual std::optional<AccessibilityValue> attribute(const AccessibilityElement& element,
                                                        const QString& name) const = 0;

    // --- Walk helpers, inside a job only ------------------------------------------------------------

    // The first maxCount children that can be read; one that cannot is skipped, never ends the list.
    QList<AccessibilityElement> children(const AccessibilityElement& element, int maxCount = 2000) const;

    // What the readers take from a selection is the item in front: the first selected child that
    // names something. A few more cover a table that lists a selected row as its cells (an icon, the
    // name, a size, a type, a date). A select-all in a folder or mail list of tens of thousands is
    // otherwise read one child per call.
    static constexpr int maxSelectedChildren = 16;
    // The first maxCount selected children of a list, table or tree, in its order; empty when it
    // selects nothing or cannot say. The first child that cannot be read ends the list: the selection
    // shrank meanwhile, or the application stopped answering and each further read would wait out
    // its timeout.
    QList<AccessibilityElement> selectedChildren(const AccessibilityElement& element,
                                                 int maxCount = maxSelectedChildren) const;
    std::optional<AccessibilityApplication> application(qint64 processId) const;
    // The application's top-level windows: its frame, window and dialog children.
    QList<AccessibilityElement> frames(const AccessibilityElement& application) const;
    // The one the user works in (state active): while one of this process's own windows is in
    // front, no frame of another application is active.
    std::optional<AccessibilityElement> activeFrame(const AccessibilityElement& application) const;
    // The frame whose name is title exactly.
    std::optional<AccessibilityElement> frameNamed(const AccessibilityElement& application,
                                                   const QString& title) const;

    struct Walk {
        int maxDepth = 40;
        int maxNodes = 4000;   // elements visited, the start included
        int maxChildren = 500; // of each element, the first ones
        // Children of elements with these roles are not entered (menus, tab strips).
        QList<AccessibilityRole> skipRoles;
        bool showingOnly = true; // below start, an element not showing is neither matched nor entered
    };
    // Depth first from start, start included: the first element for which match holds.
    std::optional<AccessibilityElement>
    findFirst(const AccessibilityElement& start,
              const std::function<bool(const AccessibilityElement&)>& match, const Walk& walk) const;
};

// The bus as one object: its session and its reads. Construction and ownership stay with this type;
// a caller that needs one side takes that side.
class AccessibilityApi : public AccessibilitySession, public AccessibilityElements {
    Q_OBJECT
public:
    using AccessibilitySession::AccessibilitySession;
    // The element's children, not the QObject's.
    using AccessibilityElements::children;
    using AccessibilityElements::run;
};

// This system offers no such interface: trust is "not available" and nothing is ever found, so the
// readers fall back at once and nobody is asked for a permission that does not exist here. Jobs run
// at once on the calling thread, since they read nothing.
class UnavailableAccessibilityApi final : public AccessibilityApi {
public:
    using AccessibilityApi::AccessibilityApi;

    AccessibilityTrust trust() const override { return AccessibilityTrust::notAvailable; }
    QFuture<AccessibilityTrust> refreshTrust() override;
    void requestTrust() override {}
    bool post(std::function<void()> job) override;

    QList<AccessibilityApplication> applications() const override { return {}; }
    AccessibilityRole role(const AccessibilityElement&) const override { return AccessibilityRole::other; }
    std::optional<QString> name(const AccessibilityElement&) const override { return std::nullopt; }
    std::optional<QString> description(const AccessibilityElement&) const override { return std::nullopt; }
    AccessibilityStates states(const AccessibilityElement&) const override { return {}; }
    void readStatesAfresh(const AccessibilityElement&) const override {}
    QHash<QString, QString> attributes(const AccessibilityElement&) const override { return {}; }
    QHash<QString, QString> documentAttributes(const AccessibilityElement&) const override { return {}; }
    std::optional<QString> text(const AccessibilityElement&, int) const override { return std::nullopt; }
    std::optional<int> childCount(const AccessibilityElement&) const override { return std::nullopt; }
    std::optional<AccessibilityElement> childAt(const AccessibilityElement&, int) const override
    {
        return std::nullopt;
    }
    std::optional<int> selectedChildCount(const AccessibilityElement&) const override { return std::nullopt; }
    std::optional<AccessibilityElement> selectedChildAt(const AccessibilityElement&, int) const override
    {
        return std::nullopt;
    }
    std::optional<int> documentCurrentPage(const AccessibilityElement&) const override
    {
        return std::nullopt;
    }
    std::optional<quint64> changeStamp() const override { return std::nullopt; }
    std::optional<AccessibilityElement> applicationElement(qint64) const override { return std::nullopt; }
    std::optional<AccessibilityValue> attribute(const AccessibilityElement&, const QString&) const override
    {
        return std::nullopt;
    }
};

} // namespace morvane
