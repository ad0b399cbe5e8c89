// Claims the single instance in the folder given first and sends the URL given second. Prints
// "forwarded", "unanswered" or "refused"; or "primary", then every URL that later reaches it, and exits after
// the first delivery (or five seconds).
#include "services/SingleInstance.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    morvane::SingleInstance instance({QString::fromLocal8Bit(argv[1])});
    switch (instance.claim({QString::fromLocal8Bit(argv[2])})) {
    case morvane::SingleInstance::Role::forwarded:
        std::puts("forwarded");
        return 0;
    case morvane::SingleInstance::Role::unanswered:
        std::puts("unanswered");
        return 0;
    case morvane::SingleInstance::Role::blocked:
    case morvane::SingleInstance::Role::failed:
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
