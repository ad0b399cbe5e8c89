#include "preferences/HotkeyRecorder.h"

#include "FakeHotkeyBackend.h"

#include "preferences/PreferenceControls.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace morvane {
namespace {

using test::controlCommand;

// The owner counts starts and stops to suspend the shortcuts, so each recording must be announced
// exactly once each way, however it ends, and a refused proposal must leave the old shortcut.
TEST(HotkeyRecorder, EachRecordingStartsAndStopsOnceAndOnlyAnAcceptedShortcutStays)
{
    PreferencesTheme theme(nullptr);
    QList<GlobalHotkeyBinding> proposed;
    bool accept = false;
    HotkeyRecorderField field(theme, QStringLiteral("Morvane"), [&](const GlobalHotkeyBinding& binding) {
        proposed.append(binding);
        return accept;
    });
    HotkeyCaptureButton* control = field.control();
    QSignalSpy recording(&field, &HotkeyRecorderField::recordingSuspendedChanged);
    field.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));

    QTest::mouseClick(control, Qt::LeftButton);
    QTest::mouseClick(control, Qt::LeftButton);
    QTest::keyClick(control, Qt::Key_T, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_EQ(proposed, (QList<GlobalHotkeyBinding>{{17, controlCommand}}));
    EXPECT_EQ(control->binding(), (GlobalHotkeyBinding{37, controlCommand}));

    accept = true;
    QTest::mouseClick(control, Qt::LeftButton);
    QTest::keyClick(control, Qt::Key_T, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_EQ(control->binding(), (GlobalHotkeyBinding{17, controlCommand}));

    // The window going away ends a recording still listening.
    QTest::mouseClick(control, Qt::LeftButton);
    field.hide();
    EXPECT_FALSE(control->isRecording());

    QList<bool> announced;
    for (const QList<QVariant>& arguments : recording)
        announced.append(arguments.first().toBool());
    EXPECT_EQ(announced, (QList<bool>{true, false, true, false, true, false}));
}

} // namespace
} // namespace morvane
