// Writes a record of the given size into the record folder on a thread of its own and, once its
// temporary is in the folder, ends the process while the write is under way: with "exit" as a quit
// does (the process's exit is run), with "crash" without it. Prints "writing" before it ends.
#include "sync/RecordFileWriter.h"
#include "sync/RecordFolder.h"

#include <QByteArray>
#include <QDir>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    const QString folderPath = QString::fromLocal8Bit(argv[1]);
    const bool crash = std::strcmp(argv[2], "crash") == 0;
    const auto bytes = qsizetype(std::atoll(argv[3]));
    // Held until the process ends, as the application's record store is while a pass is under way.
    auto* folder = new morvane::RecordFolder(folderPath);
    folder->open();
    auto* writer = new morvane::RecordFileWriter(*folder);
    std::thread([writer, bytes] {
        try {
            writer->replace(QStringLiteral("Link_probe"), QByteArray(bytes, 'x'));
        } catch (...) {
            // the exit refused it or removed its temporary
        }
    }).detach();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (QDir(folderPath).entryList({QStringLiteral(".morvane-*")}, QDir::Files | QDir::Hidden).isEmpty()) {
        if (std::chrono::steady_clock::now() > until)
            return 3;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::puts("writing");
    std::fflush(stdout);
    if (crash)
        ::_exit(0);
    std::exit(0);
}
