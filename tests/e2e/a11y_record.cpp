// Writes another application's interface, as the accessibility bus shows it through Morvane's own
// layer, into a JSON file that the unit tests replay:
//   a11y_record APPLICATION OUT.json [--until TEXT]... [--note TEXT]
// APPLICATION is the application's name on the bus. The recorder waits (at most 60 s) until the
// application is there and, for each --until, an element showing whose name or text holds TEXT; then
// it writes every element, one that is neither showing nor visible without what is below it.

#include "RecordedAccessibilityTree.h"
#include "platform/AtspiAccessibilityApi.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cstdio>
#include <functional>

using namespace morvane;
using nlohmann::ordered_json;

namespace {

constexpr int maxDepth = 60;
constexpr int maxNodes = 8000;
constexpr int maxChildren = 300;
constexpr int maxText = 400;

struct Recorder {
    const AccessibilityApi& api;
    int nodes = 0;

    ordered_json element(const AccessibilityElement& e, int depth)
    {
        ++nodes;
        ordered_json out;
        out["role"] = test::recordedRoleName(api.role(e));
        if (const std::optional<QString> name = api.name(e); name && !name->isEmpty())
            out["name"] = name->toStdString();
        if (const std::optional<QString> description = api.description(e);
            description && !description->isEmpty())
            out["description"] = description->toStdString();
        const AccessibilityStates states = api.states(e);
        ordered_json stateNames = ordered_json::array();
        for (const auto& [state, name] : test::recordedStateNames()) {
            if (states.testFlag(state))
                stateNames.push_back(name);
        }
        out["states"] = stateNames;
        if (const std::optional<QString> text = api.text(e, maxText); text && !text->isEmpty())
            out["text"] = text->toStdString();
        // GTK 4 marks few elements showing: what is visible is entered too.
        if (!states.testFlag(AccessibilityState::showing) && !states.testFlag(AccessibilityState::visible) &&
            depth > 1)
            return out;
        if (depth >= maxDepth || nodes >= maxNodes)
            return out;
        const QList<AccessibilityElement> children = api.children(e, maxChildren);
        const QList<AccessibilityElement> selected = api.selectedChildren(e);
        ordered_json kids = ordered_json::array();
        ordered_json selectedIndexes = ordered_json::array();
        for (qsizetype i = 0; i < children.size() && nodes < maxNodes; ++i) {
            if (selected.contains(children.at(i)))
                selectedIndexes.push_back(i);
            kids.push_back(element(children.at(i), depth + 1));
        }
        if (!selectedIndexes.empty())
            out["selected"] = selectedIndexes;
        if (!kids.empty())
            out["children"] = kids;
        return out;
    }
};

bool holds(const AccessibilityApi& api, const AccessibilityElement& root, const QString& wanted)
{
    AccessibilityApi::Walk walk;
    walk.maxNodes = maxNodes;
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

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: a11y_record APPLICATION OUT.json [--until TEXT]... [--note TEXT]\n");
        return 2;
    }
    const QString applicationName = arguments.takeFirst();
    const QString outPath = arguments.takeFirst();
    QStringList until;
    QString note;
    while (arguments.size() >= 2) {
        const QString option = arguments.takeFirst();
        (option == QStringLiteral("--note") ? note : until.emplaceBack()) = arguments.takeFirst();
    }

    AtspiAccessibilityApi api;
    const QDeadlineTimer deadline(qEnvironmentVariableIntValue("RECORD_WAIT_MS") > 0
                                      ? qEnvironmentVariableIntValue("RECORD_WAIT_MS")
                                      : 60'000);
    std::optional<ordered_json> recorded;
    while (!recorded && !deadline.hasExpired()) {
        recorded = api.run([&](AccessibilityApi& bus) -> std::optional<ordered_json> {
                          for (const AccessibilityApplication& app : bus.applications()) {
                              if (app.name != applicationName)
                                  continue;
                              for (const QString& text : until) {
                                  if (!holds(bus, app.element, text))
                                      return std::nullopt;
                              }
                              Recorder recorder{bus};
                              return recorder.element(app.element, 0);
                          }
                          return std::nullopt;
                      })
                       .result();
        if (!recorded)
            QThread::msleep(300);
    }
    if (!recorded) {
        const QStringList names = api.run([](AccessibilityApi& bus) {
                                         QStringList found;
                                         for (const AccessibilityApplication& app : bus.applications())
                                             found.append(app.name);
                                         return found;
                                     })
                                      .result();
        std::fprintf(stderr, "a11y_record: %s did not show what was asked within 60 s (on the bus: %s)\n",
                     qPrintable(applicationName), qPrintable(names.join(QStringLiteral(", "))));
        return 1;
    }
    ordered_json document;
    if (!note.isEmpty())
        document["note"] = note.toStdString();
    document["application"] = *recorded;
    QFile out(outPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    out.write(QByteArray::fromStdString(document.dump(0) + "\n"));
    return 0;
}
