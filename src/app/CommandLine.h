#pragma once

#include <QString>
#include <QStringList>

namespace morvane {

// What a command line asks for. Read before any display, library or running copy is reached, so
// --help, --version and a mistyped option answer anywhere.
struct CommandLine {
    enum class Action {
        run,        // start, or hand `items` to the running copy
        help,       // print `text` on standard output, exit 0
        version,    // print `text` on standard output, exit 0
        usageError, // print `text` on standard error, exit 2
    };

    Action action = Action::run;
    // The morvane: URLs and window commands, in the order given.
    QStringList items;
    // The Qt platform plugin named with -platform, when one was.
    QString platform;
    QString text;

    // Whether `items` asks the running copy to quit; with no running copy there is nothing to do.
    bool quits() const;
};

// Reads the arguments after the program's name. Options: --quick-panel, --graph, --preferences,
// --quit, -h/--help, -v/--version, and -platform <name> for Qt; the remaining arguments that are
// morvane: URLs are kept, other words are dropped as before.
CommandLine parseCommandLine(const QStringList& arguments);

// "Usage: morvane [options] [morvane://open/<id> ...]".
QString usageLine();

} // namespace morvane
