#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {

using Action = CommandLine::Action;

// What reaches the running copy keeps the command line's order; after "--" only links count.
TEST(CommandLine, KeepsTheCommandsAndLinksInTheirOrder)
{
    const CommandLine line = parseCommandLine({"--graph", "-platform", "xcb", "morvane://open/1", "notes.txt",
                                               "--quick-panel", "--", "--quit", "morvane://open/2"});
    EXPECT_EQ(line.action, Action::run);
    EXPECT_EQ(line.items, (QStringList{"--graph", "morvane://open/1", "--quick-panel", "morvane://open/2"}));
    EXPECT_EQ(line.platform, "xcb");
    EXPECT_FALSE(line.quits());
    EXPECT_TRUE(parseCommandLine({"--preferences", "--quit"}).quits());
    EXPECT_EQ(parseCommandLine({}).items, QStringList());
}

TEST(CommandLine, HelpAndVersionWinOverEverythingElse)
{
    for (const QStringList& arguments :
         {QStringList{"--help"}, QStringList{"-h"}, QStringList{"--graph", "-h"}}) {
        const CommandLine line = parseCommandLine(arguments);
        EXPECT_EQ(line.action, Action::help) << arguments.join(' ').toStdString();
        EXPECT_TRUE(line.text.startsWith(usageLine()));
        for (const char* option : {"--quick-panel", "--graph", "--preferences", "--quit", "--help",
                                   "--version", "morvane://open/<id>"})
            EXPECT_TRUE(line.text.contains(option)) << option;
    }
    const CommandLine version = parseCommandLine({"--version"});
    EXPECT_EQ(version.action, Action::version);
    EXPECT_EQ(version.text, "Morvane 0.1.0\n");
    EXPECT_EQ(parseCommandLine({"-v"}).text, version.text);
}

// A mistyped option is named as typed, with the usage line, whatever else the line holds.
TEST(CommandLine, AnUnknownOptionIsAUsageError)
{
    const struct {
        QStringList arguments;
        const char* named;
    } cases[] = {
        {{"--quickpanel"}, "--quickpanel"},
        {{"--graph", "--verbose=2"}, "--verbose"},
        {{"-x"}, "-x"},
        {{"morvane://open/1", "--Quit"}, "--Quit"},
    };
    for (const auto& c : cases) {
        const CommandLine line = parseCommandLine(c.arguments);
        EXPECT_EQ(line.action, Action::usageError) << c.named;
        EXPECT_EQ(line.text, QStringLiteral("morvane: unknown option '%1'\n").arg(c.named) + usageLine());
        EXPECT_TRUE(line.items.isEmpty());
    }
    // A value given to an option that takes none is refused too.
    EXPECT_EQ(parseCommandLine({"--graph=1"}).action, Action::usageError);
    EXPECT_EQ(parseCommandLine({"-platform"}).action, Action::usageError);
}

} // namespace
