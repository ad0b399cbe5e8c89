#pragma once

#include "AccessibilityTree.h"

#include <QFile>
#include <QString>

#include <nlohmann/json.hpp>

#include <array>
#include <stdexcept>
#include <utility>

namespace morvane::test {

// A real application's interface as the recorder (tests/e2e/a11y_record) wrote it from the bus: one
// JSON object per element with its role, name, description, states, text, selected children (by
// index) and children. Loading it into an accessibility tree replays that application to a reader.

inline const std::array<std::pair<AccessibilityRole, const char*>, 40>& recordedRoleNames()
{
    using R = AccessibilityRole;
    static const std::array<std::pair<AccessibilityRole, const char*>, 40> names{{
        {R::other, "other"},
        {R::application, "application"},
        {R::frame, "frame"},
        {R::window, "window"},
        {R::dialog, "dialog"},
        {R::documentWeb, "documentWeb"},
        {R::documentFrame, "documentFrame"},
        {R::documentText, "documentText"},
        {R::documentEmail, "documentEmail"},
        {R::menuBar, "menuBar"},
        {R::menu, "menu"},
        {R::popupMenu, "popupMenu"},
        {R::menuItem, "menuItem"},
        {R::pageTabList, "pageTabList"},
        {R::pageTab, "pageTab"},
        {R::toolBar, "toolBar"},
        {R::statusBar, "statusBar"},
        {R::panel, "panel"},
        {R::filler, "filler"},
        {R::scrollPane, "scrollPane"},
        {R::section, "section"},
        {R::paragraph, "paragraph"},
        {R::heading, "heading"},
        {R::label, "label"},
        {R::link, "link"},
        {R::pushButton, "pushButton"},
        {R::entry, "entry"},
        {R::text, "text"},
        {R::table, "table"},
        {R::treeTable, "treeTable"},
        {R::tableRow, "tableRow"},
        {R::tableCell, "tableCell"},
        {R::tree, "tree"},
        {R::treeItem, "treeItem"},
        {R::list, "list"},
        {R::listItem, "listItem"},
        {R::layeredPane, "layeredPane"},
        {R::icon, "icon"},
        {R::canvas, "canvas"},
        {R::image, "image"},
    }};
    return names;
}

inline const std::array<std::pair<AccessibilityState, const char*>, 12>& recordedStateNames()
{
    using S = AccessibilityState;
    static const std::array<std::pair<AccessibilityState, const char*>, 12> names{{
        {S::active, "active"},
        {S::showing, "showing"},
        {S::visible, "visible"},
        {S::focused, "focused"},
        {S::selected, "selected"},
        {S::focusable, "focusable"},
        {S::selectable, "selectable"},
        {S::editable, "editable"},
        {S::expanded, "expanded"},
        {S::multiselectable, "multiselectable"},
        {S::iconified, "iconified"},
        {S::defunct, "defunct"},
    }};
    return names;
}

inline const char* recordedRoleName(AccessibilityRole role)
{
    for (const auto& [known, name] : recordedRoleNames()) {
        if (known == role)
            return name;
    }
    return "other";
}

namespace recorded_detail {

inline AccessibilityElement addRecorded(AccessibilityTree& tree, const nlohmann::json& element)
{
    AccessibilityTree::Node node;
    const std::string role = element.value("role", std::string("other"));
    for (const auto& [known, name] : recordedRoleNames()) {
        if (role == name)
            node.role = known;
    }
    if (element.contains("name"))
        node.name = QString::fromStdString(element.at("name").get<std::string>());
    if (element.contains("description"))
        node.description = QString::fromStdString(element.at("description").get<std::string>());
    if (element.contains("text"))
        node.text = QString::fromStdString(element.at("text").get<std::string>());
    for (const nlohmann::json& state : element.value("states", nlohmann::json::array())) {
        for (const auto& [known, name] : recordedStateNames()) {
            if (state.get<std::string>() == name)
                node.states |= known;
        }
    }
    for (const nlohmann::json& child : element.value("children", nlohmann::json::array()))
        node.children.append(addRecorded(tree, child));
    for (const nlohmann::json& index : element.value("selected", nlohmann::json::array())) {
        const int at = index.get<int>();
        if (at < 0 || at >= node.children.size())
            throw std::runtime_error("a recorded selection names no child");
        node.selected.append(node.children.at(at));
    }
    return tree.add(std::move(node));
}

} // namespace recorded_detail

// Adds the application recorded in the file at path to tree as running in process processId, and
// answers its element.
inline AccessibilityElement loadRecordedApplication(AccessibilityTree& tree, const QString& path,
                                                    qint64 processId)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("no recorded tree at " + path.toStdString());
    const nlohmann::json recorded = nlohmann::json::parse(file.readAll().toStdString());
    const nlohmann::json& root = recorded.at("application");
    const AccessibilityElement application =
        tree.addApplication(processId, QString::fromStdString(root.value("name", std::string())));
    for (const nlohmann::json& child : root.value("children", nlohmann::json::array())) {
        const AccessibilityElement element = recorded_detail::addRecorded(tree, child);
        tree.edit(application, [&](AccessibilityTree::Node& n) { n.children.append(element); });
    }
    return application;
}

} // namespace morvane::test
