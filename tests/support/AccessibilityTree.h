#pragma once

#include "foundation/StoreExecutor.h"
#include "platform/AccessibilityApi.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <mutex>

namespace morvane::test {

// Other applications' interfaces as a tree the test builds: applications by process, elements with
// roles, names, states, attributes, documents, texts and children, and elements whose every read
// fails (an application that hung, a child that went away). Jobs run on a thread of the tree's own,
// as they do on the bus; a read from any other thread is counted in offThreadReads and answers
// nothing. The older named attributes (set()) are read from any thread.
class AccessibilityTree final : public AccessibilityApi {
public:
    struct Node {
        AccessibilityRole role = AccessibilityRole::other;
        std::optional<QString> name;
        std::optional<QString> description;
        AccessibilityStates states;
        QHash<QString, QString> attributes;
        QHash<QString, QString> documentAttributes;
        std::optional<QString> text;
        QList<AccessibilityElement> children;
        QList<AccessibilityElement> selected;
        std::optional<int> currentPage; // a paged document's
        bool fails = false;
    };

    // --- Building (any thread) ---

    AccessibilityElement addElement() { return add(Node{}); }
    AccessibilityElement add(Node node)
    {
        const std::lock_guard lock(m_mutex);
        m_nodes.insert(++m_lastHandle, std::move(node));
        return {m_lastHandle};
    }
    // A child appended to parent's children.
    AccessibilityElement add(const AccessibilityElement& parent, Node node)
    {
        const AccessibilityElement child = add(std::move(node));
        edit(parent, [&](Node& n) { n.children.append(child); });
        return child;
    }
    AccessibilityElement addApplication(qint64 processId, const QString& appName = {})
    {
        Node node;
        node.role = AccessibilityRole::application;
        node.name = appName;
        const AccessibilityElement element = add(std::move(node));
        const std::lock_guard lock(m_mutex);
        m_applications.append({element, processId, appName});
        return element;
    }
    // Announced on the bus, as applications announce what they change (changeStamp moves, and the
    // element's kept states go).
    template <class Edit> void edit(const AccessibilityElement& element, Edit change)
    {
        const std::lock_guard lock(m_mutex);
        change(m_nodes[element.handle]);
        m_keptStates.remove(element.handle);
        ++m_changes;
    }
    // Changed with its announcement still on the way: states kept of the element stay as they were.
    template <class Edit> void changeUnannounced(const AccessibilityElement& element, Edit change)
    {
        const std::lock_guard lock(m_mutex);
        change(m_nodes[element.handle]);
    }
    void set(const AccessibilityElement& element, const QString& name, AccessibilityValue value)
    {
        const std::lock_guard lock(m_mutex);
        m_named[element.handle].insert(name, std::move(value));
    }

    std::atomic<AccessibilityTrust> trustState = AccessibilityTrust::granted;
    // While set, jobs are taken and not run, as by a bus that never answers, until runHeldJobs().
    std::atomic<bool> holdJobs = false;
    int trustRequests = 0;
    mutable std::atomic<int> offThreadReads = 0;
    mutable std::atomic<int> reads = 0; // every read of an element, to tell a walk from a direct read
    // As the bus's library does: an element's states once read are answered from what was kept until
    // an announced change of it (edit) or readStatesAfresh.
    std::atomic<bool> keepsStates = false;

    // --- AccessibilityApi ---

    AccessibilityTrust trust() const override { return trustState; }
    QFuture<AccessibilityTrust> refreshTrust() override { return QtFuture::makeReadyFuture(trust()); }
    void requestTrust() override { ++trustRequests; }
    bool post(std::function<void()> job) override
    {
        if (holdJobs) {
            const std::lock_guard lock(m_mutex);
            m_heldJobs.append(std::move(job));
            return true;
        }
        return m_thread.post(std::move(job));
    }
    // Runs the jobs held so far, late, on the tree's thread.
    void runHeldJobs()
    {
        QList<std::function<void()>> held;
        {
            const std::lock_guard lock(m_mutex);
            held.swap(m_heldJobs);
        }
        for (std::function<void()>& job : held)
            m_thread.post(std::move(job));
    }

    QList<AccessibilityApplication> applications() const override
    {
        const std::lock_guard lock(m_mutex);
        QList<AccessibilityApplication> found;
        for (const AccessibilityApplication& application : m_applications) {
            if (readable(application.element))
                found.append(application);
        }
        return found;
    }
    AccessibilityRole role(const AccessibilityElement& e) const override
    {
        return read(e, &Node::role, AccessibilityRole::other);
    }
    std::optional<QString> name(const AccessibilityElement& e) const override { return read(e, &Node::name); }
    std::optional<QString> description(const AccessibilityElement& e) const override
    {
        return read(e, &Node::description);
    }
    AccessibilityStates states(const AccessibilityElement& e) const override
    {
        if (!keepsStates)
            return read(e, &Node::states);
        const std::lock_guard lock(m_mutex);
        if (!readable(e))
            return {};
        if (!m_keptStates.contains(e.handle))
            m_keptStates.insert(e.handle, m_nodes.value(e.handle).states);
        return m_keptStates.value(e.handle);
    }
    void readStatesAfresh(const AccessibilityElement&) const override
    {
        const std::lock_guard lock(m_mutex);
        m_keptStates.clear(); // of every application: the tests replay one at a time
    }
    QHash<QString, QString> attributes(const AccessibilityElement& e) const override
    {
        return read(e, &Node::attributes);
    }
    QHash<QString, QString> documentAttributes(const AccessibilityElement& e) const override
    {
        return read(e, &Node::documentAttributes);
    }
    std::optional<QString> text(const AccessibilityElement& e, int maxLength) const override
    {
        std::optional<QString> whole = read(e, &Node::text);
        return whole ? std::optional(whole->left(maxLength)) : std::nullopt;
    }
    std::optional<int> childCount(const AccessibilityElement& e) const override
    {
        const std::lock_guard lock(m_mutex);
        return readable(e) ? std::optional(int(m_nodes.value(e.handle).children.size())) : std::nullopt;
    }
    std::optional<AccessibilityElement> childAt(const AccessibilityElement& e, int index) const override
    {
        const std::lock_guard lock(m_mutex);
        if (!readable(e) || index < 0 || index >= m_nodes.value(e.handle).children.size())
            return std::nullopt;
        const AccessibilityElement child = m_nodes.value(e.handle).children.at(index);
        return m_nodes.value(child.handle).fails ? std::nullopt : std::optional(child);
    }
    std::optional<int> selectedChildCount(const AccessibilityElement& e) const override
    {
        const std::lock_guard lock(m_mutex);
        return readable(e) ? std::optional(int(m_nodes.value(e.handle).selected.size())) : std::nullopt;
    }
    std::optional<AccessibilityElement> selectedChildAt(const AccessibilityElement& e,
                                                        int index) const override
    {
        const std::lock_guard lock(m_mutex);
        if (!readable(e) || index < 0 || index >= m_nodes.value(e.handle).selected.size())
            return std::nullopt;
        const AccessibilityElement child = m_nodes.value(e.handle).selected.at(index);
        return m_nodes.value(child.handle).fails ? std::nullopt : std::optional(child);
    }
    std::optional<int> documentCurrentPage(const AccessibilityElement& e) const override
    {
        return read(e, &Node::currentPage);
    }
    std::optional<quint64> changeStamp() const override
    {
        if (!m_thread.isCurrentThread())
            return std::nullopt;
        return m_changes.load();
    }
    std::optional<AccessibilityElement> applicationElement(qint64 processId) const override
    {
        const std::lock_guard lock(m_mutex);
        for (const AccessibilityApplication& application : m_applications) {
            if (application.processId == processId)
                return application.element;
        }
        return std::nullopt;
    }
    std::optional<AccessibilityValue> attribute(const AccessibilityElement& element,
                                                const QString& name) const override
    {
        const std::lock_guard lock(m_mutex);
        const QHash<QString, AccessibilityValue> attributes = m_named.value(element.handle);
        return attributes.contains(name) ? std::optional(attributes.value(name)) : std::nullopt;
    }

private:
    // Under m_mutex.
    bool readable(const AccessibilityElement& element) const
    {
        ++reads;
        if (!m_thread.isCurrentThread()) {
            ++offThreadReads;
            return false;
        }
        return m_nodes.contains(element.handle) && !m_nodes.value(element.handle).fails;
    }
    template <class T> T read(const AccessibilityElement& element, T Node::*field, T otherwise = {}) const
    {
        const std::lock_guard lock(m_mutex);
        return readable(element) ? m_nodes.value(element.handle).*field : otherwise;
    }

    mutable std::mutex m_mutex;
    quint64 m_lastHandle = 0;
    std::atomic<quint64> m_changes = 0;
    QHash<quint64, Node> m_nodes;
    mutable QHash<quint64, AccessibilityStates> m_keptStates;
    QList<AccessibilityApplication> m_applications;
    QHash<quint64, QHash<QString, AccessibilityValue>> m_named;
    QList<std::function<void()>> m_heldJobs;
    StoreExecutor m_thread{"test-a11y"};
};

// An element to add: this role, name and states, and a document's attributes.
inline AccessibilityTree::Node node(AccessibilityRole role, std::optional<QString> name = {},
                                    AccessibilityStates states = AccessibilityState::showing,
                                    QHash<QString, QString> documentAttributes = {})
{
    AccessibilityTree::Node made;
    made.role = role;
    made.name = std::move(name);
    made.states = states;
    made.documentAttributes = std::move(documentAttributes);
    return made;
}

} // namespace morvane::test
