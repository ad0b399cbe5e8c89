// Writes what an application shows on the accessibility bus as a recording that unit tests replay
// through the accessibility double (tests/support/RecordedAccessibilityTree.h):
//   a11y_record <application name or process id> <file> [max depth] [max children]
// The application is named as the bus names it or as its process is named. It waits up to 20 s for
// it to show a frame, then records every frame: roles, names, states, the texts of entries,
// documents' attributes and pages, and which children a view selects.
// Menus are left out (their items are no capture's business and would bury the rest).

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

using namespace morvane;

namespace {

struct Limits {
    int maxDepth = 40;
    int maxChildren = 120;
};

bool holdsText(AccessibilityRole role)
{
    return role == AccessibilityRole::entry || role == AccessibilityRole::text ||
           role == AccessibilityRole::documentText || role == AccessibilityRole::paragraph;
}

QJsonObject record(const AccessibilityApi& api, const AccessibilityElement& element, int depth,
                   const Limits& limits)
{
    QJsonObject node;
    const AccessibilityRole role = api.role(element);
    node.insert(QStringLiteral("role"), test::recordedRoleName(role));
    if (const std::optional<QString> name = api.name(element); name && !name->isEmpty())
        node.insert(QStringLiteral("name"), name->left(300));
    if (const QJsonArray states = test::recordedStates(api.states(element)); !states.isEmpty())
        node.insert(QStringLiteral("states"), states);
    if (holdsText(role)) {
        if (const std::optional<QString> text = api.text(element, 300); text && !text->isEmpty())
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
    QJsonArray selected;
    for (const AccessibilityElement& chosen : api.selectedChildren(element)) {
        if (const qsizetype index = children.indexOf(chosen); index >= 0)
            selected.append(int(index));
    }
    if (!selected.isEmpty())
        node.insert(QStringLiteral("selected"), selected);
    return node;
}

std::optional<QJsonObject> recordApplication(AccessibilityApi& api, const QString& wanted,
                                             const Limits& limits)
{
    for (const AccessibilityApplication& application : api.applications()) {
        QFile command(QStringLiteral("/proc/%1/comm").arg(application.processId));
        const QString commandName =
            command.open(QIODevice::ReadOnly) ? QString::fromUtf8(command.readAll().trimmed()) : QString();
        if (application.name.compare(wanted, Qt::CaseInsensitive) != 0 &&
            commandName.compare(wanted, Qt::CaseInsensitive) != 0 &&
            QString::number(application.processId) != wanted)
            continue;
        const QList<AccessibilityElement> frames = api.frames(application.element);
        if (frames.isEmpty())
            continue;
        QJsonArray recorded;
        for (const AccessibilityElement& frame : frames)
            recorded.append(record(api, frame, 0, limits));
        return QJsonObject{{QStringLiteral("application"), application.name},
                           {QStringLiteral("frames"), recorded}};
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3) {
        std::fprintf(stderr,
                     "usage: a11y_record <application name or pid> <file> [max depth] [max children]\n");
        return 2;
    }
    Limits limits;
    if (arguments.size() > 3)
        limits.maxDepth = arguments.at(3).toInt();
    if (arguments.size() > 4)
        limits.maxChildren = arguments.at(4).toInt();

    AtspiAccessibilityApi accessibility;
    const QDeadlineTimer deadline(20000);
    std::optional<QJsonObject> recording;
    while (!recording && !deadline.hasExpired()) {
        recording =
            accessibility
                .run([&](AccessibilityApi& api) { return recordApplication(api, arguments.at(1), limits); })
                .result();
        if (!recording)
            QThread::msleep(200);
    }
    if (!recording) {
        std::fprintf(stderr, "%s showed no frame on the accessibility bus, which holds:\n",
                     qPrintable(arguments.at(1)));
        accessibility
            .run([](AccessibilityApi& api) {
                for (const AccessibilityApplication& shown : api.applications())
                    std::fprintf(stderr, "  %lld %s, %d frames\n", shown.processId, qPrintable(shown.name),
                                 int(api.frames(shown.element).size()));
                return 0;
            })
            .waitForFinished();
        return 1;
    }
    QSaveFile file(arguments.at(2));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(QJsonDocument(*recording).toJson(QJsonDocument::Indented));
    return file.commit() ? 0 : 1;
}
