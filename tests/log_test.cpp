// cLog: the process-wide log.
#include "platform/message_box.h"
#include "player/log.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>
#include <vector>

using kxtest::readFile;
using kxtest::TempDir;

namespace {

// The log writes "log.txt" into the current directory: every test runs in a
// temporary folder of its own and starts from a new log.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override { cLog::get()->reset(); }
    void TearDown() override { cLog::get()->reset(); }

    // The log with the player's settings (set up as the player does at start-up).
    cLog* playerLog()
    {
        cLog* log = cLog::get();
        log->setFileName("log.txt");
        log->setOutput(cLog::outputFile);
        log->setEnabled(true);
        return log;
    }

    // Splits a file into its CR LF terminated lines (without the CR LF).
    static std::vector<std::string> lines(const std::string& text)
    {
        std::vector<std::string> out;
        size_t from = 0;
        while (from < text.size()) {
            const size_t end = text.find("\r\n", from);
            if (end == std::string::npos) {
                out.push_back(text.substr(from) + "<no CR LF>");
                break;
            }
            out.push_back(text.substr(from, end - from));
            from = end + 2;
        }
        return out;
    }

    TempDir dir_;
};

const char* const kTime = R"(\[\d\d:\d\d:\d\d\.\d\d\d\] )";

} // namespace

TEST_F(LogTest, OneLogCreatedDisabledWithDefaults)
{
    cLog* log = cLog::get();
    EXPECT_EQ(log, cLog::get());
    EXPECT_FALSE(log->enabled());
    EXPECT_EQ(log->lineCount(), 0u);
    EXPECT_STREQ(log->fileName(), "log.txt");
}

TEST_F(LogTest, DisabledLogWritesNothingAndCountsNothing)
{
    cLog* log = cLog::get();
    log->setOutput(cLog::outputFile | cLog::outputConsole);
    testing::internal::CaptureStdout();
    log->logf("hello %d", 1);
    log->write(0, "direct");
    log->write(3, "level three");
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, "");
    EXPECT_EQ(log->lineCount(), 0u);
    EXPECT_FALSE(kxtest::fileExists("log.txt"));

    // Disabling again after lines were written stops the writing and counting.
    log->setEnabled(true);
    log->logf("one");
    EXPECT_EQ(log->lineCount(), 1u);
    log->setEnabled(false);
    log->logf("two");
    EXPECT_EQ(log->lineCount(), 1u);
    EXPECT_EQ(lines(readFile("log.txt")).size(), 1u);
}

TEST_F(LogTest, PlayerLineLayout)
{
    cLog* log = playerLog();
    log->logf("Parsing Script [%s]", "script.txt");
    log->logf("done.");
    const std::string text = readFile("log.txt");
    const std::regex layout(std::string("000000\\|") + kTime + " \\*\\*\\*\\* Parsing Script \\[script\\.txt\\]\r\n" +
                            "000001\\|" + kTime + " \\*\\*\\*\\* done\\.\r\n");
    EXPECT_TRUE(std::regex_match(text, layout)) << text;
}

TEST_F(LogTest, FirstLineTruncatesLaterLinesAppend)
{
    kxtest::writeFile("log.txt", "an old run's log\r\nwith two lines\r\n");
    cLog* log = playerLog();
    log->logf("first");
    std::vector<std::string> got = lines(readFile("log.txt"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(std::regex_match(got[0], std::regex(std::string("000000\\|") + kTime + " \\*\\*\\*\\* first")))
        << got[0];

    log->logf("second");
    log->logf("third");
    got = lines(readFile("log.txt"));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1].substr(0, 7), "000001|");
    EXPECT_EQ(got[2].substr(0, 7), "000002|");
    EXPECT_NE(got[2].find("third"), std::string::npos);
    EXPECT_EQ(log->lineCount(), 3u);
}

TEST_F(LogTest, NumbersLinesFromZeroWithSixDigits)
{
    cLog* log = playerLog();
    log->setFormat(cLog::formatLineNumber);
    for (int i = 0; i < 12; ++i) log->logf("n");
    const std::vector<std::string> got = lines(readFile("log.txt"));
    ASSERT_EQ(got.size(), 12u);
    EXPECT_EQ(got[0], "000000|n");
    EXPECT_EQ(got[9], "000009|n");
    EXPECT_EQ(got[11], "000011|n");
}

TEST_F(LogTest, LevelBarForLevelsZeroToFive)
{
    cLog* log = playerLog();
    log->setFormat(cLog::formatLevelBar);
    for (unsigned level = 0; level <= 5; ++level) log->write(level, "x");
    log->write(64, "x"); // only the low six bits count: level 0
    log->write(63, "x");
    const std::vector<std::string> got = lines(readFile("log.txt"));
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(got[0], " **** x");
    EXPECT_EQ(got[1], "  *** x");
    EXPECT_EQ(got[2], "   ** x");
    EXPECT_EQ(got[3], "    * x");
    EXPECT_EQ(got[4], "      x");
    EXPECT_EQ(got[5], "      x");
    EXPECT_EQ(got[6], " **** x");
    EXPECT_EQ(got[7], "      x");
}

TEST_F(LogTest, PercentSignWrittenAsItStands)
{
    cLog* log = playerLog();
    log->setFormat(0);
    log->write(0, "load 100%.tga %s %d %n");
    log->logf("%s", "load 100%.tga %s %d %n");
    log->logf("%d%%", 100);
    EXPECT_EQ(readFile("log.txt"), "load 100%.tga %s %d %n\r\n"
                                   "load 100%.tga %s %d %n\r\n"
                                   "100%\r\n");
}

TEST_F(LogTest, NewFileNameStartsAfresh)
{
    cLog* log = playerLog();
    log->setFormat(cLog::formatLineNumber);
    log->logf("a");
    log->logf("b");

    kxtest::writeFile("other.txt", "stale\r\n");
    log->setFileName("other.txt");
    EXPECT_STREQ(log->fileName(), "other.txt");
    log->logf("c");
    log->logf("d");
    // The counter goes on across files; the new file was truncated.
    EXPECT_EQ(readFile("other.txt"), "000002|c\r\n000003|d\r\n");
    EXPECT_EQ(readFile("log.txt"), "000000|a\r\n000001|b\r\n");

    // Setting the same name again truncates it too.
    log->setFileName("log.txt");
    log->logf("e");
    EXPECT_EQ(readFile("log.txt"), "000004|e\r\n");
}

TEST_F(LogTest, DateAndTimeFormatBits)
{
    cLog* log = playerLog();
    const std::time_t before = std::time(nullptr);

    log->setFormat(cLog::formatTime);
    log->logf("t");
    log->setFormat(cLog::formatDate);
    log->logf("d");
    log->setFormat(cLog::formatDate | cLog::formatTime);
    log->logf("dt");
    log->setFormat(cLog::formatDate | cLog::formatTime | cLog::formatLineNumber | cLog::formatLevelBar);
    log->logf("all");
    log->setFormat(0);
    log->logf("bare");

    const std::time_t after = std::time(nullptr);
    const std::vector<std::string> got = lines(readFile("log.txt"));
    ASSERT_EQ(got.size(), 5u);
    const std::string date = R"(\[\d\d-\d\d-\d{4}\] )";
    EXPECT_TRUE(std::regex_match(got[0], std::regex(std::string(kTime) + "t"))) << got[0];
    EXPECT_TRUE(std::regex_match(got[1], std::regex(date + "d"))) << got[1];
    EXPECT_TRUE(std::regex_match(got[2], std::regex(date + kTime + "dt"))) << got[2];
    EXPECT_TRUE(std::regex_match(got[3], std::regex("000003\\|" + date + kTime + " \\*\\*\\*\\* all"))) << got[3];
    EXPECT_EQ(got[4], "bare");

    // The date is today's in UTC: day, month, four-digit year.
    auto utcDate = [](std::time_t t) {
        const std::tm parts = kxtest::utcTime(t);
        char text[32];
        std::snprintf(text, sizeof text, "[%02d-%02d-%04d] ", parts.tm_mday, parts.tm_mon + 1, parts.tm_year + 1900);
        return std::string(text);
    };
    const std::string logged = got[1].substr(0, 13);
    EXPECT_TRUE(logged == utcDate(before) || logged == utcDate(after)) << logged;

    // The time of day is UTC: its hour matches the UTC clock.
    auto utcHour = [](std::time_t t) {
        const std::tm parts = kxtest::utcTime(t);
        return parts.tm_hour;
    };
    const int hour = std::stoi(got[0].substr(1, 2));
    EXPECT_TRUE(hour == utcHour(before) || hour == utcHour(after)) << got[0];
    const int minute = std::stoi(got[0].substr(4, 2));
    const int second = std::stoi(got[0].substr(7, 2));
    EXPECT_LT(minute, 60);
    EXPECT_LT(second, 61);
}

TEST_F(LogTest, ConsoleOutputAndNoOutputStillCount)
{
    cLog* log = playerLog();
    log->setFormat(cLog::formatLineNumber);
    log->setOutput(cLog::outputConsole);
    testing::internal::CaptureStdout();
    log->logf("to the console");
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, "000000|to the console\r\n");
    EXPECT_FALSE(kxtest::fileExists("log.txt"));

    log->setOutput(0);
    log->logf("nowhere");
    EXPECT_EQ(log->lineCount(), 2u);
    EXPECT_FALSE(kxtest::fileExists("log.txt"));

    log->setOutput(cLog::outputFile | cLog::outputConsole);
    testing::internal::CaptureStdout();
    log->logf("both");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "000002|both\r\n");
    EXPECT_EQ(readFile("log.txt"), "000002|both\r\n");
}

TEST_F(LogTest, MessageBoxOutputNeverBlocksWhenNotInteractive)
{
    platform::setInteractive(false);
    cLog* log = playerLog();
    log->setFormat(0);
    log->setOutput(cLog::outputMessageBox);
    testing::internal::CaptureStderr();
    log->logf("boxed");
    const std::string err = testing::internal::GetCapturedStderr();
    platform::setInteractive(true);
    EXPECT_NE(err.find("[LOG] boxed"), std::string::npos) << err;
    EXPECT_EQ(log->lineCount(), 1u);
}

TEST_F(LogTest, UnopenableFileIsSkippedSilently)
{
    cLog* log = playerLog();
    log->setFileName("no/such/folder/log.txt");
    testing::internal::CaptureStdout();
    log->logf("lost");
    log->logf("lost too");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(log->lineCount(), 2u);

    // Once a file can be opened, its first line still truncates it.
    kxtest::writeFile("log.txt", "stale\r\n");
    log->setFileName("log.txt");
    log->setFormat(0);
    log->logf("found");
    EXPECT_EQ(readFile("log.txt"), "found\r\n");
}

TEST_F(LogTest, OverlongMessagesAreCutNotOverflowed)
{
    cLog* log = playerLog();
    log->setFormat(0);
    const std::string big(40000, 'm');
    log->logf("%s", big.c_str());
    std::string text = readFile("log.txt");
    // logf formats at most 16 383 characters of message.
    EXPECT_EQ(text, std::string(16383, 'm') + "\r\n");

    log->setFileName("log.txt");
    log->write(0, big.c_str());
    text = readFile("log.txt");
    // A line holds at most 32 767 characters.
    EXPECT_LE(text.size(), 32767u);
    EXPECT_EQ(text.substr(0, 100), std::string(100, 'm'));
    EXPECT_EQ(log->lineCount(), 2u);
}

TEST_F(LogTest, NullAndEmptyTexts)
{
    cLog* log = playerLog();
    log->setFormat(0);
    log->write(0, "");
    log->write(0, nullptr);
    EXPECT_EQ(readFile("log.txt"), "\r\n\r\n");
}

TEST_F(LogTest, ResetReturnsToNewState)
{
    cLog* log = playerLog();
    log->setFileName("x.txt");
    log->logf("a");
    log->reset();
    EXPECT_FALSE(log->enabled());
    EXPECT_EQ(log->lineCount(), 0u);
    EXPECT_STREQ(log->fileName(), "log.txt");
    log->setEnabled(true);
    log->logf("b");
    const std::string text = readFile("log.txt");
    EXPECT_TRUE(std::regex_match(text, std::regex(std::string("000000\\|") + kTime + " \\*\\*\\*\\* b\r\n"))) << text;
}
