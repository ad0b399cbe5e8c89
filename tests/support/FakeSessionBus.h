#pragma once

#include "platform/SessionBus.h"

#include <QHash>
#include <QStringList>

#include <mutex>

namespace morvane::test {

// A session bus of canned answers: names with their owners, and per object and member a value. A
// member without an answer fails as an application that does not answer; every question is counted.
class FakeSessionBus final : public SessionBus {
public:
    void own(const QString& name, qint64 processId)
    {
        std::lock_guard lock(m_mutex);
        m_owners.insert(name, processId);
    }
    void answer(const BusObject& object, const QString& member, const QVariant& value)
    {
        std::lock_guard lock(m_mutex);
        m_answers.insert(key(object, member), value);
    }
    int questions() const
    {
        std::lock_guard lock(m_mutex);
        return m_questions;
    }

    std::optional<qint64> ownerProcessId(const QString& name, std::chrono::milliseconds) const override
    {
        std::lock_guard lock(m_mutex);
        ++m_questions;
        if (!m_owners.contains(name))
            return std::nullopt;
        return m_owners.value(name);
    }
    QStringList namesWithPrefix(const QString& prefix, std::chrono::milliseconds) const override
    {
        std::lock_guard lock(m_mutex);
        ++m_questions;
        QStringList names;
        for (const QString& name : m_owners.keys()) {
            if (name.startsWith(prefix))
                names.append(name);
        }
        return names;
    }
    std::optional<QVariant> property(const BusObject& object, const QString& name,
                                     std::chrono::milliseconds) const override
    {
        return answerFor(object, name);
    }
    std::optional<QVariant> call(const BusObject& object, const QString& method, const QVariantList&,
                                 std::chrono::milliseconds) const override
    {
        return answerFor(object, method);
    }

private:
    static QString key(const BusObject& object, const QString& member)
    {
        return QStringList{object.service, object.path, object.interface, member}.join(u'|');
    }
    std::optional<QVariant> answerFor(const BusObject& object, const QString& member) const
    {
        std::lock_guard lock(m_mutex);
        ++m_questions;
        const auto found = m_answers.constFind(key(object, member));
        if (found == m_answers.constEnd())
            return std::nullopt;
        return *found;
    }

    mutable std::mutex m_mutex;
    QHash<QString, qint64> m_owners;
    QHash<QString, QVariant> m_answers;
    mutable int m_questions = 0;
};

} // namespace morvane::test
