#pragma once

#include "AccessibilityTree.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <utility>

namespace morvane::test {

// What a real application showed on the accessibility bus, written by tests/e2e/a11y_record and
// replayed through the accessibility double, so a reader is tested against the tree the application
// really builds rather than one a test imagined. A recording is a JSON object:
//   {"application": name, "frames": [node, ...]}
// and a node holds "role" (the names below), "name", "description", "states" (a list of the names
// below), "text",
// "document" (a document's attributes), "page" (a paged document's), "selected" (indices of its
// selected children) and "children" (nodes); a missing key is an empty or absent value.

inline const std::pair<AccessibilityRole, const char*> recordedRoleNames[]{
    {AccessibilityRole::other, "other"},
    {AccessibilityRole::application, "application"},
    {AccessibilityRole::frame, "frame"},
    {AccessibilityRole::window, "window"},
    {AccessibilityRole::dialog, "dialog"},
    {AccessibilityRole::documentWeb, "documentWeb"},
    {AccessibilityRole::documentFrame, "documentFrame"},
    {AccessibilityRole::documentText, "documentText"},
    {AccessibilityRole::documentEmail, "documentEmail"},
    {AccessibilityRole::menuBar, "menuBar"},
    {AccessibilityRole::menu, "menu"},
    {AccessibilityRole::popupMenu, "popupMenu"},
    {AccessibilityRole::menuItem, "menuItem"},
    {AccessibilityRole::pageTabList, "pageTabList"},
    {AccessibilityRole::pageTab, "pageTab"},
    {AccessibilityRole::toolBar, "toolBar"},
    {AccessibilityRole::statusBar, "statusBar"},
    {AccessibilityRole::panel, "panel"},
    {AccessibilityRole::filler, "filler"},
    {AccessibilityRole::scrollPane, "scrollPane"},
    {AccessibilityRole::section, "section"},
    {AccessibilityRole::paragraph, "paragraph"},
    {AccessibilityRole::heading, "heading"},
    {AccessibilityRole::label, "label"},
    {AccessibilityRole::link, "link"},
    {AccessibilityRole::pushButton, "pushButton"},
    {AccessibilityRole::entry, "entry"},
    {AccessibilityRole::text, "text"},
    {AccessibilityRole::table, "table"},
    {AccessibilityRole::treeTable, "treeTable"},
    {AccessibilityRole::tableRow, "tableRow"},
    {AccessibilityRole::tableCell, "tableCell"},
    {AccessibilityRole::tree, "tree"},
    {AccessibilityRole::treeItem, "treeItem"},
    {AccessibilityRole::list, "list"},
    {AccessibilityRole::listItem, "listItem"},
    {AccessibilityRole::layeredPane, "layeredPane"},
    {AccessibilityRole::icon, "icon"},
    {AccessibilityRole::canvas, "canvas"},
    {AccessibilityRole::image, "image"},
};

inline const std::pair<AccessibilityState, const char*> recordedStateNames[]{
    {AccessibilityState::active, "active"},         {AccessibilityState::showing, "showing"},
    {AccessibilityState::visible, "visible"},       {AccessibilityState::focused, "focused"},
    {AccessibilityState::selected, "selected"},     {AccessibilityState::focusable, "focusable"},
    {AccessibilityState::selectable, "selectable"}, {AccessibilityState::editable, "editable"},
    {AccessibilityState::expanded, "expanded"},     {AccessibilityState::multiselectable, "multiselectable"},
    {AccessibilityState::iconified, "iconified"},   {AccessibilityState::defunct, "defunct"},
};

inline QString recordedRoleName(AccessibilityRole role)
{
    for (const auto& [known, name] : recordedRoleNames) {
        if (known == role)
            return QString::fromLatin1(name);
    }
    return QStringLiteral("other");
}

inline QJsonArray recordedStates(AccessibilityStates states)
{
    QJsonArray names;
    for (const auto& [state, name] : recordedStateNames) {
        if (states.testFlag(state))
            names.append(QString::fromLatin1(name));
    }
    return names;
}

// Texts of the recording replaced in every name, text and document attribute: where the recording
// was made (its home folder) becomes where the test runs.
using RecordedTextSubstitutions = QList<std::pair<QString, QString>>;

namespace detail {

inline QString substituted(QString text, const RecordedTextSubstitutions& substitutions)
{
    for (const auto& [recorded, replayed] : substitutions)
        text.replace(recorded, replayed);
    return text;
}

inline AccessibilityTree::Node recordedNode(const QJsonObject& object,
                                            const RecordedTextSubstitutions& substitutions)
{
    const auto textOf = [&](const QJsonValue& value) { return substituted(value.toString(), substitutions); };
    AccessibilityTree::Node made;
    const QString role = object.value(QStringLiteral("role")).toString();
    for (const auto& [known, name] : recordedRoleNames) {
        if (role == QLatin1String(name))
            made.role = known;
    }
    if (object.contains(QStringLiteral("name")))
        made.name = textOf(object.value(QStringLiteral("name")));
    if (object.contains(QStringLiteral("description")))
        made.description = textOf(object.value(QStringLiteral("description")));
    for (const QJsonValue state : object.value(QStringLiteral("states")).toArray()) {
        for (const auto& [known, name] : recordedStateNames) {
            if (state.toString() == QLatin1String(name))
                made.states |= known;
        }
    }
    if (object.contains(QStringLiteral("text")))
        made.text = textOf(object.value(QStringLiteral("text")));
    const QJsonObject document = object.value(QStringLiteral("document")).toObject();
    for (auto attribute = document.begin(); attribute != document.end(); ++attribute)
        made.documentAttributes.insert(attribute.key(), textOf(attribute.value()));
    if (object.contains(QStringLiteral("page")))
        made.currentPage = object.value(QStringLiteral("page")).toInt();
    return made;
}

inline AccessibilityElement replayNode(AccessibilityTree& tree, const AccessibilityElement& parent,
                                       const QJsonObject& object,
                                       const RecordedTextSubstitutions& substitutions)
{
    const AccessibilityElement element = tree.add(parent, recordedNode(object, substitutions));
    QList<AccessibilityElement> children;
    for (const QJsonValue child : object.value(QStringLiteral("children")).toArray())
        children.append(replayNode(tree, element, child.toObject(), substitutions));
    QList<AccessibilityElement> selected;
    for (const QJsonValue index : object.value(QStringLiteral("selected")).toArray()) {
        if (index.toInt() >= 0 && index.toInt() < children.size())
            selected.append(children.at(index.toInt()));
    }
    if (!selected.isEmpty())
        tree.edit(element, [&](AccessibilityTree::Node& node) { node.selected = selected; });
    return element;
}

} // namespace detail

// Adds the recorded application to the tree as the process; its application element, or nothing
// when the file cannot be read as a recording.
inline std::optional<AccessibilityElement>
replayRecordedTree(AccessibilityTree& tree, const QString& path, qint64 processId,
                   const RecordedTextSubstitutions& substitutions = {})
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject recording = document.object();
    const AccessibilityElement application =
        tree.addApplication(processId, recording.value(QStringLiteral("application")).toString());
    for (const QJsonValue frame : recording.value(QStringLiteral("frames")).toArray())
        detail::replayNode(tree, application, frame.toObject(), substitutions);
    return application;
}

// What a later recording of the same application shows, laid over the elements replayed from an
// earlier one of the same shape (another tab brought in front, say), with its announcement still on
// the way: names, states and documents change, states kept of them stay. False when the file cannot
// be read as a recording or its shape differs.
inline bool changeToRecordedTree(AccessibilityTree& tree, const AccessibilityElement& application,
                                 const QString& path, const RecordedTextSubstitutions& substitutions = {})
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return false;
    // Read on the tree's own thread, as a reader would.
    const std::function<bool(const AccessibilityElement&, const QJsonObject&)> lay =
        [&](const AccessibilityElement& element, const QJsonObject& object) {
            const AccessibilityTree::Node later = detail::recordedNode(object, substitutions);
            const QJsonArray children = object.value(QStringLiteral("children")).toArray();
            const QList<AccessibilityElement> replayed =
                tree.run([element](AccessibilityElements& api) { return api.children(element); }).result();
            if (replayed.size() != children.size())
                return false;
            QList<AccessibilityElement> selected;
            for (const QJsonValue index : object.value(QStringLiteral("selected")).toArray()) {
                if (index.toInt() >= 0 && index.toInt() < replayed.size())
                    selected.append(replayed.at(index.toInt()));
            }
            tree.changeUnannounced(element, [&](AccessibilityTree::Node& node) {
                node.name = later.name;
                node.states = later.states;
                node.documentAttributes = later.documentAttributes;
                node.selected = selected;
            });
            for (qsizetype i = 0; i < children.size(); ++i) {
                if (!lay(replayed.at(i), children.at(i).toObject()))
                    return false;
            }
            return true;
        };
    const QJsonArray frames = document.object().value(QStringLiteral("frames")).toArray();
    const QList<AccessibilityElement> replayed =
        tree.run([application](AccessibilityElements& api) { return api.children(application); }).result();
    if (replayed.size() != frames.size())
        return false;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (!lay(replayed.at(i), frames.at(i).toObject()))
            return false;
    }
    return true;
}

} // namespace morvane::test
