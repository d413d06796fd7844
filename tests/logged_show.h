// A test fixture for shows built in the test process: log.txt in the
// current folder, logging on, the player's switches at their defaults; the
// log is closed again after each test.
#pragma once

#include "player/demo_window.h"
#include "player/log.h"

#include <gtest/gtest.h>

namespace kxtest {

class LoggedShow : public ::testing::Test {
protected:
    void SetUp() override
    {
        cLog::get()->reset();
        cLog::get()->setFileName("log.txt");
        cLog::get()->setEnabled(true);
        gSwitches = sDemoSwitches();
    }
    void TearDown() override { cLog::get()->reset(); }
};

} // namespace kxtest
