#include "app/TrayMissingNotice.h"

#include "foundation/UserDefaults.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace morvane;

namespace {

// Shown without waiting for the user, once at a time; "Don't show again" is a setting of this machine
// that a later start reads, and unticking it takes it back.
TEST(TrayMissingNotice, SaysWhatToDoWithoutATrayUntilTheUserDismissesItForGood)
{
    const auto defaults = std::make_shared<UserDefaults>(UserDefaults::standardFilePath());
    TrayMissingNotice notice(defaults);
    ASSERT_TRUE(notice.show());
    QMessageBox* box = notice.window();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    for (const char* said : {"morvane --quick-panel", "morvane --graph", "morvane --preferences",
                             "morvane --quit", "gnome-shell-extension-appindicator"})
        EXPECT_TRUE(box->informativeText().contains(said)) << said;
    EXPECT_FALSE(notice.show()) << "one window at a time";

    box->checkBox()->setChecked(true);
    box->checkBox()->setChecked(false);
    EXPECT_FALSE(defaults->contains(TrayMissingNotice::dismissedKey));
    box->checkBox()->setChecked(true);
    box->button(QMessageBox::Ok)->click();
    EXPECT_FALSE(box->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(notice.window(), nullptr) << "closed, the window is gone";

    const auto reread = std::make_shared<UserDefaults>(UserDefaults::standardFilePath());
    EXPECT_EQ(reread->boolValue(TrayMissingNotice::dismissedKey), true);
    TrayMissingNotice later(reread);
    EXPECT_FALSE(later.show());
    EXPECT_EQ(later.window(), nullptr);
}

} // namespace
