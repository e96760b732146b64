#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "report/log.h"
#include "tests/plugin_fixture.h"

namespace {

class LogFile : public InTempDirectory {
protected:
    static std::string read(const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    // Where the log goes when the game's folder takes none: by default a plain
    // folder, and for one row a user's folder whose name no ANSI code page holds.
    std::filesystem::path appData() const { return std::filesystem::current_path() / appDataName; }
    const char* appDataName = "appdata";
};

TEST_F(LogFile, GoesToTheGameFolderElseToLocalAppDataElseNowhere) {
    struct Case {
        const char* what;
        bool folderTakesFiles;
        bool appDataSet;
        bool appDataTakesFiles;
        const char* expectedAt;  // relative to the current directory; null: no log
        const char* appDataName = "appdata";
    };
    const char* const user = "\xD0\x9F\xD0\xB5\xD1\x82\xD1\x8F \xE2\x98\x85 \xE6\xA3\xAE";
    const std::string userLog = std::string(user) + "/Brackenfold/Brackenfold.log";
    const Case cases[] = {
        {"game folder", true, true, true, "Brackenfold.log"},
        {"fallback", false, true, true, "appdata/Brackenfold/Brackenfold.log"},
        {"fallback in a user folder of any name", false, true, true, userLog.c_str(), user},
        {"no LOCALAPPDATA", false, false, true, nullptr},
        {"fallback blocked too", false, true, false, nullptr},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        appDataName = test.appDataName;
        std::filesystem::remove_all("Brackenfold.log");
        std::filesystem::remove_all(appData());
        sim::reset();
        if (!test.folderTakesFiles) {
            std::filesystem::create_directory("Brackenfold.log");
        }
        if (test.appDataSet) {
            sim::setEnvironment("LOCALAPPDATA", appData().string());
            std::filesystem::create_directory(appData());
            if (!test.appDataTakesFiles) {
                std::filesystem::create_directories(appData() / "Brackenfold" / "Brackenfold.log");
            }
        }
        EXPECT_EQ(openLog(), test.expectedAt != nullptr);
        if (test.expectedAt != nullptr && !test.folderTakesFiles) {
            EXPECT_EQ(logPath(), appData().string() + "\\Brackenfold\\Brackenfold.log");
        }
        logLine(LogLevel::Info, "hello %d", 7);
        closeLog();
        if (test.expectedAt != nullptr) {
            EXPECT_EQ(read(test.expectedAt), "[00:00:00.000] INFO hello 7\n");
        }
        EXPECT_EQ(std::filesystem::is_regular_file(appData() / "Brackenfold" / "Brackenfold.log"),
                  test.expectedAt != nullptr && !test.folderTakesFiles);
    }
}

TEST_F(LogFile, LinesCarryLocalTimeAndLevelAndStartAfresh) {
    {
        std::ofstream old("Brackenfold.log");
        old << "left from the last game\n";
    }
    ASSERT_TRUE(openLog());
    EXPECT_STREQ(logPath(), "Brackenfold.log");
    sim::setLocalTime(9, 5, 7, 42);
    logLine(LogLevel::Info, "one");
    sim::setLocalTime(23, 59, 59, 999);
    logLine(LogLevel::Warn, "two %s", "words");
    logLine(LogLevel::Error, "%s", std::string(5000, 'x').c_str());
    // Two-byte characters from an odd start: the cut falls where one would be split.
    std::string letters;
    for (int i = 0; i < 3000; ++i) {
        letters += "\xC3\xA9";
    }
    logLine(LogLevel::Info, "%s", ("x" + letters).c_str());
    closeLog();
    const std::size_t room = logLineCapacity - 21;
    const std::string expected = "[09:05:07.042] INFO one\n[23:59:59.999] WARN two words\n[23:59:59.999] ERROR " +
                                 std::string(logLineCapacity - 22, 'x') + "\n[23:59:59.999] INFO x" +
                                 letters.substr(0, (room - 1) / 2 * 2) + "\n";
    EXPECT_EQ(read("Brackenfold.log"), expected);
}

TEST_F(LogFile, StopsBelowOneMebibyteWithALastLineSayingItIsFull) {
    ASSERT_TRUE(openLog());
    const std::string text(200, 'y');
    for (int i = 0; i < 6000; ++i) {
        logLine(LogLevel::Info, "%05d %s", i, text.c_str());
    }
    logLine(LogLevel::Info, "unloaded");
    const std::string log = read("Brackenfold.log");
    EXPECT_LE(log.size(), logCapacity);
    // Another line of this length would have started past the cap.
    EXPECT_GT(log.size() + 2 * 227, logCapacity);
    const std::string last = log.substr(log.rfind('\n', log.size() - 2) + 1);
    EXPECT_EQ(last, "[00:00:00.000] WARN log is full (1 MiB); nothing more is written\n");
    EXPECT_EQ(log.find("unloaded"), std::string::npos);
    // Reopening starts a new, empty log.
    ASSERT_TRUE(openLog());
    logLine(LogLevel::Info, "again");
    EXPECT_EQ(read("Brackenfold.log"), "[00:00:00.000] INFO again\n");
}

}  // namespace
