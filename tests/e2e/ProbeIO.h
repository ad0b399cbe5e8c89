#pragma once

// The line protocol of the probes: they print one line per answer or notice, flushed at once, and
// read their commands from standard input, one a line. The probe quits when its input ends.

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>

namespace morvane::probe {

inline void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Calls `command` with each line read from standard input while the returned notifier lives.
inline std::unique_ptr<QSocketNotifier> readCommands(std::function<void(std::string_view)> command)
{
    auto input = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(input.get(), &QSocketNotifier::activated,
                     [command = std::move(command), pending = std::string()]() mutable {
                         char buffer[256];
                         const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
                         if (count <= 0)
                             return QCoreApplication::quit();
                         pending.append(buffer, size_t(count));
                         for (size_t end; (end = pending.find('\n')) != std::string::npos;
                              pending.erase(0, end + 1))
                             command(std::string_view(pending).substr(0, end));
                     });
    return input;
}

} // namespace morvane::probe
