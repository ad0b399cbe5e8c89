#include "CompositorWindows.h"

#include "foundation/LocalSocket.h"
#include "foundation/Logging.h"

#include <QtConcurrent/QtConcurrentRun>

#include <nlohmann/json.hpp>

#include <cstring>

MORVANE_LOGGING_CATEGORY(lcCompositorWindows, "CompositorWindows")

namespace morvane {

namespace {

using Sight = CompositorWindows::Sight;

// Every sway IPC message: the magic, the payload's length and the message type (both 32-bit, in the
// host's byte order), then the payload.
constexpr char ipcMagic[] = "i3-ipc";
constexpr qsizetype magicSize = sizeof ipcMagic - 1;
constexpr qsizetype headerSize = magicSize + 8;
constexpr quint32 getTree = 4;
// A tree of thousands of windows is a few megabytes; a length past this is not an answer.
constexpr quint32 largestTree = 64 * 1024 * 1024;

QByteArray ipcMessage(quint32 type)
{
    QByteArray message(ipcMagic, magicSize);
    message.append(QByteArray(8, '\0'));
    const quint32 length = 0;
    std::memcpy(message.data() + magicSize, &length, 4);
    std::memcpy(message.data() + magicSize + 4, &type, 4);
    return message;
}

// The window's node among the node's own and floating children, at any depth; null when none holds it.
const nlohmann::json* findWindow(const nlohmann::json& node, quint32 x11Window)
{
    if (!node.is_object())
        return nullptr;
    const auto window = node.find("window");
    if (window != node.end() && window->is_number_unsigned() && window->get<quint64>() == x11Window)
        return &node;
    for (const char* children : {"nodes", "floating_nodes"}) {
        const auto list = node.find(children);
        if (list == node.end() || !list->is_array())
            continue;
        for (const nlohmann::json& child : *list) {
            if (const nlohmann::json* found = findWindow(child, x11Window))
                return found;
        }
    }
    return nullptr;
}

} // namespace

SwayCompositorWindows::SwayCompositorWindows(QString socketPath)
    : m_socketPath(std::move(socketPath))
{
}

QFuture<Sight> SwayCompositorWindows::sightOf(quint32 x11Window) const
{
    // The job holds its own copy of the path: the asker may be gone before sway answers.
    return QtConcurrent::run(&SwayCompositorWindows::askSight, m_socketPath, x11Window);
}

Sight SwayCompositorWindows::askSight(const QString& socketPath, quint32 x11Window)
{
    const LocalSocket::Deadline deadline = std::chrono::steady_clock::now() + answerBound;
    QString error;
    const std::unique_ptr<LocalSocket> socket = LocalSocket::connectTo(socketPath, deadline, &error);
    if (!socket) {
        qCDebug(lcCompositorWindows).noquote() << "sway cannot be asked:" << error;
        return Sight::unknown;
    }
    if (!socket->writeAll(ipcMessage(getTree), deadline))
        return Sight::unknown;
    const std::optional<QByteArray> header = socket->readExactly(headerSize, deadline);
    if (!header || !header->startsWith(QByteArray(ipcMagic, magicSize)))
        return Sight::unknown;
    quint32 length = 0;
    quint32 type = 0;
    std::memcpy(&length, header->constData() + magicSize, 4);
    std::memcpy(&type, header->constData() + magicSize + 4, 4);
    if (type != getTree || length > largestTree)
        return Sight::unknown;
    const std::optional<QByteArray> tree = socket->readExactly(length, deadline);
    if (!tree) {
        qCDebug(lcCompositorWindows) << "sway did not answer within" << answerBound.count() << "ms";
        return Sight::unknown;
    }
    return sightInTree(*tree, x11Window);
}

Sight SwayCompositorWindows::sightInTree(const QByteArray& tree, quint32 x11Window)
{
    const nlohmann::json root =
        nlohmann::json::parse(tree.constData(), tree.constData() + tree.size(), nullptr, false);
    const nlohmann::json* window = findWindow(root, x11Window);
    if (!window)
        return Sight::unknown;
    const auto visible = window->find("visible");
    if (visible == window->end() || !visible->is_boolean())
        return Sight::unknown;
    return visible->get<bool>() ? Sight::shown : Sight::covered;
}

std::unique_ptr<CompositorWindows> sessionCompositorWindows()
{
    const QString sway = qEnvironmentVariable("SWAYSOCK");
    if (!sway.isEmpty())
        return std::make_unique<SwayCompositorWindows>(sway);
    return std::make_unique<UnknownCompositorWindows>();
}

} // namespace morvane
