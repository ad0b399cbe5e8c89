// Claims the single instance in the folders given first (separated by ":") and sends the URL given
// second. Prints "forwarded", "unanswered" or "refused"; or "primary", then every URL that later
// reaches it, and exits after the first delivery (or five seconds).
// With "--listen-as UID PATH", listens at PATH as that user instead (the caller must be root), prints
// "listening" and takes nothing, for five seconds.
#include "foundation/LocalSocket.h"
#include "services/SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

int listenAs(int argc, char** argv)
{
    const auto user = uid_t(std::atoi(argv[2]));
    if (::setgid(user) != 0 || ::setuid(user) != 0)
        return 1;
    QCoreApplication application(argc, argv);
    morvane::LocalServer server;
    if (!server.listen(QString::fromLocal8Bit(argv[3])))
        return 1;
    std::puts("listening");
    std::fflush(stdout);
    QTimer::singleShot(5000, &application, &QCoreApplication::quit);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--listen-as") == 0)
        return listenAs(argc, argv);
    if (argc != 3)
        return 2;
    morvane::SingleInstance instance(QString::fromLocal8Bit(argv[1]).split(u':'));
    switch (instance.claim({QString::fromLocal8Bit(argv[2])})) {
    case morvane::SingleInstance::Role::forwarded:
        std::puts("forwarded");
        return 0;
    case morvane::SingleInstance::Role::unanswered:
        std::puts("unanswered");
        return 0;
    case morvane::SingleInstance::Role::blocked:
    case morvane::SingleInstance::Role::failed:
    case morvane::SingleInstance::Role::occupied:
        std::puts("failed");
        return 0;
    case morvane::SingleInstance::Role::refused:
        std::puts("refused");
        return 0;
    case morvane::SingleInstance::Role::primary:
        break;
    }
    QCoreApplication application(argc, argv);
    if (!instance.listen())
        return 1;
    std::puts("primary");
    QObject::connect(&instance, &morvane::SingleInstance::urlsReceived, &application,
                     [](const QStringList& urls) {
                         for (const QString& url : urls)
                             std::puts(qPrintable(url));
                         QCoreApplication::quit();
                     });
    QTimer::singleShot(5000, &application, &QCoreApplication::quit);
    return QCoreApplication::exec();
}
