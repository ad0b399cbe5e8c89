#pragma once

#include <QString>

#include <gtest/gtest.h>

#include <memory>

class QTemporaryDir;

namespace morvane::test {

// Gives every test its own HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR, so that no
// test reads or writes the real home folder or sees what an earlier test left behind.
class IsolatedHomeListener : public ::testing::EmptyTestEventListener {
public:
    IsolatedHomeListener();
    ~IsolatedHomeListener() override;

    void OnTestStart(const ::testing::TestInfo& info) override;
    void OnTestEnd(const ::testing::TestInfo& info) override;

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

// The temporary home folder of the running test.
QString testHome();

} // namespace morvane::test
