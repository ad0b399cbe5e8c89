// Writes what an application shows on the accessibility bus as a recording that unit tests replay
// through the accessibility double (tests/support/RecordedAccessibilityTree.h):
//   a11y_record <application name or process id> <file> [--until TEXT]... [--note TEXT]
//               [--depth N] [--children N]
// The application is named as the bus names it or as its process is named. It waits (20 s, or
// RECORD_WAIT_MS) until it shows a frame and, for each --until, an element whose name or text holds
// TEXT; then it records every frame: roles, names, descriptions, states, the texts of labels and
// entries, documents' attributes and pages, and which children a view selects. --note is kept in the
// file to say what the recording shows. Menus are left out (their items are no capture's business and
// would bury the rest).

#include "RecordedAccessibilityTree.h"

#include "platform/AtspiAccessibilityApi.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QThread>

#include <cstdio>
#include <optional>

using namespace morvane;

namespace {

struct Limits {
    int maxDepth = 40;
    int maxChildren = 120;
};

constexpr int maxText = 300;

bool holdsText(AccessibilityRole role)
{
    return role == AccessibilityRole::entry || role == AccessibilityRole::text ||
           role == AccessibilityRole::documentText || role == AccessibilityRole::paragraph ||
           role == AccessibilityRole::label;
}

// Where the selected children stand among the children. A view that makes its cells afresh on each
// ask (a tree table that manages its descendants) answers with objects that are none of its children:
// those are found as the one run of children whose roles and names are theirs, in their order.
QJsonArray selectedIndices(const AccessibilityElements& api, const QList<AccessibilityElement>& children,
                           const QList<AccessibilityElement>& chosen)
{
    QJsonArray indices;
    for (const AccessibilityElement& child : chosen) {
        if (const qsizetype index = children.indexOf(child); index >= 0)
            indices.append(int(index));
    }
    if (indices.size() == chosen.size())
        return indices;
    const auto looksAlike = [&](const AccessibilityElement& a, const AccessibilityElement& b) {
        return api.role(a) == api.role(b) && api.name(a) == api.name(b);
    };
    std::optional<qsizetype> run;
    for (qsizetype start = 0; start + chosen.size() <= children.size(); ++start) {
        bool alike = true;
        for (qsizetype offset = 0; alike && offset < chosen.size(); ++offset)
            alike = looksAlike(children.at(start + offset), chosen.at(offset));
        if (!alike)
            continue;
        if (run)
            return {}; // two runs look alike: which one is selected cannot be told
        run = start;
    }
    indices = {};
    for (qsizetype offset = 0; run && offset < chosen.size(); ++offset)
        indices.append(int(*run + offset));
    return indices;
}

QJsonObject record(const AccessibilityElements& api, const AccessibilityElement& element, int depth,
                   const Limits& limits)
{
    QJsonObject node;
    const AccessibilityRole role = api.role(element);
    node.insert(QStringLiteral("role"), test::recordedRoleName(role));
    if (const std::optional<QString> name = api.name(element); name && !name->isEmpty())
        node.insert(QStringLiteral("name"), name->left(maxText));
    if (const std::optional<QString> description = api.description(element);
        description && !description->isEmpty())
        node.insert(QStringLiteral("description"), description->left(maxText));
    if (const QJsonArray states = test::recordedStates(api.states(element)); !states.isEmpty())
        node.insert(QStringLiteral("states"), states);
    if (holdsText(role)) {
        if (const std::optional<QString> text = api.text(element, maxText); text && !text->isEmpty())
            node.insert(QStringLiteral("text"), *text);
    }
    if (const QHash<QString, QString> document = api.documentAttributes(element); !document.isEmpty()) {
        QJsonObject attributes;
        for (auto attribute = document.begin(); attribute != document.end(); ++attribute)
            attributes.insert(attribute.key(), attribute.value());
        node.insert(QStringLiteral("document"), attributes);
    }
    if (role == AccessibilityRole::documentFrame) {
        if (const std::optional<int> page = api.documentCurrentPage(element))
            node.insert(QStringLiteral("page"), *page);
    }
    if (depth >= limits.maxDepth || role == AccessibilityRole::menuBar || role == AccessibilityRole::menu ||
        role == AccessibilityRole::popupMenu)
        return node;
    const QList<AccessibilityElement> children = api.children(element, limits.maxChildren);
    QJsonArray recorded;
    for (const AccessibilityElement& child : children)
        recorded.append(record(api, child, depth + 1, limits));
    if (!recorded.isEmpty())
        node.insert(QStringLiteral("children"), recorded);
    if (const QJsonArray selected = selectedIndices(api, children, api.selectedChildren(element));
        !selected.isEmpty())
        node.insert(QStringLiteral("selected"), selected);
    return node;
}

// Whether anything below root, shown or not, has a name or text holding wanted.
bool holds(const AccessibilityElements& api, const AccessibilityElement& root, const QString& wanted)
{
    AccessibilityApi::Walk walk;
    walk.maxNodes = 8000;
    walk.showingOnly = false;
    return api
        .findFirst(
            root,
            [&](const AccessibilityElement& e) {
                return api.name(e).value_or(QString()).contains(wanted) ||
                       api.text(e, maxText).value_or(QString()).contains(wanted);
            },
            walk)
        .has_value();
}

struct Request {
    QString application;
    QString file;
    QStringList until;
    QString note;
    Limits limits;
};

std::optional<QJsonObject> recordApplication(AccessibilityElements& api, const Request& request)
{
    for (const AccessibilityApplication& application : api.applications()) {
        QFile command(QStringLiteral("/proc/%1/comm").arg(application.processId));
        const QString commandName =
            command.open(QIODevice::ReadOnly) ? QString::fromUtf8(command.readAll().trimmed()) : QString();
        const QString& wanted = request.application;
        if (application.name.compare(wanted, Qt::CaseInsensitive) != 0 &&
            commandName.compare(wanted, Qt::CaseInsensitive) != 0 &&
            QString::number(application.processId) != wanted)
            continue;
        const QList<AccessibilityElement> frames = api.frames(application.element);
        if (frames.isEmpty())
            continue;
        for (const QString& text : request.until) {
            if (!holds(api, application.element, text))
                return std::nullopt;
        }
        QJsonArray recorded;
        for (const AccessibilityElement& frame : frames)
            recorded.append(record(api, frame, 0, request.limits));
        QJsonObject recording{{QStringLiteral("application"), application.name},
                              {QStringLiteral("frames"), recorded}};
        if (!request.note.isEmpty())
            recording.insert(QStringLiteral("note"), request.note);
        return recording;
    }
    return std::nullopt;
}

std::optional<Request> parse(QStringList arguments)
{
    if (arguments.size() < 2)
        return std::nullopt;
    Request request;
    request.application = arguments.takeFirst();
    request.file = arguments.takeFirst();
    while (arguments.size() >= 2) {
        const QString option = arguments.takeFirst();
        const QString value = arguments.takeFirst();
        if (option == QLatin1String("--until"))
            request.until.append(value);
        else if (option == QLatin1String("--note"))
            request.note = value;
        else if (option == QLatin1String("--depth"))
            request.limits.maxDepth = value.toInt();
        else if (option == QLatin1String("--children"))
            request.limits.maxChildren = value.toInt();
        else
            return std::nullopt;
    }
    if (!arguments.isEmpty())
        return std::nullopt;
    return request;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication application(argc, argv);
    const std::optional<Request> request = parse(application.arguments().mid(1));
    if (!request) {
        std::fprintf(stderr, "usage: a11y_record <application name or pid> <file> [--until TEXT]... "
                             "[--note TEXT] [--depth N] [--children N]\n");
        return 2;
    }
    const int waitMs = qEnvironmentVariableIntValue("RECORD_WAIT_MS");
    const QDeadlineTimer deadline(waitMs > 0 ? waitMs : 20000);
    AtspiAccessibilityApi accessibility;
    std::optional<QJsonObject> recording;
    while (!recording && !deadline.hasExpired()) {
        recording =
            accessibility.run([&](AccessibilityElements& api) { return recordApplication(api, *request); })
                .result();
        if (!recording)
            QThread::msleep(200);
    }
    if (!recording) {
        std::fprintf(stderr, "%s did not show what was asked on the accessibility bus, which holds:\n",
                     qPrintable(request->application));
        accessibility
            .run([](AccessibilityElements& api) {
                for (const AccessibilityApplication& shown : api.applications())
                    std::fprintf(stderr, "  %lld %s, %d frames\n", shown.processId, qPrintable(shown.name),
                                 int(api.frames(shown.element).size()));
                return 0;
            })
            .waitForFinished();
        return 1;
    }
    QSaveFile file(request->file);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(QJsonDocument(*recording).toJson(QJsonDocument::Indented));
    return file.commit() ? 0 : 1;
}
