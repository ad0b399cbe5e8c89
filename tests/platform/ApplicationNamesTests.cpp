#include "TestFiles.h"

#include "platform/ApplicationNames.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace morvane::test;

namespace {

void writeEntry(const QString& folder, const QString& file, const QByteArray& keys)
{
    writeFile(folder + "/applications/" + file, "[Desktop Entry]\nType=Application\n" + keys +
                                                    "\n[Desktop Action new-window]\nName=New Window\n");
}

} // namespace

// The panel names the application it reads as its menu entry does: found by the id it gives itself,
// else by its window class; the user's own entries first.
TEST(ApplicationDisplayName, IsTheDesktopEntrysNameFoundByIdOrClassElseTheClassAsWritten)
{
    writeEntry(".system-data", "org.gnome.Contacts.desktop", "Name=Contacts\nExec=gnome-contacts");
    writeEntry(".system-data", "thunar.desktop", "Name=Thunar File Manager\nExec=thunar %F");
    writeEntry(".system-data", "org.kde.okular.desktop", "Name=Okular");
    writeEntry(".local/share", "org.kde.okular.desktop", "Name=PDF Reader");
    writeEntry(".system-data", "gone.desktop", "Name=Gone");
    writeEntry(".local/share", "gone.desktop", "Name=Gone\nHidden=true");
    writeEntry(".system-data", "nameless.desktop", "Exec=nameless");

    const struct {
        QString desktopId;
        QString windowClass;
        QString expected;
    } cases[]{
        {"org.gnome.Contacts", "Gnome-contacts", "Contacts"},
        {"", "Thunar", "Thunar File Manager"}, // the class in lower case names the file
        {"org.kde.okular", "okular", "PDF Reader"},
        {"org.example.Unknown", "Gnome-contacts", "Gnome-contacts"},
        {"", "XTerm", "XTerm"},
        {"gone", "Gone-app", "Gone-app"},
        {"nameless", "Nameless", "Nameless"},
        {"../applications/thunar", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(applicationDisplayName(c.desktopId, c.windowClass), c.expected)
            << c.desktopId.toStdString() << " " << c.windowClass.toStdString();
}
