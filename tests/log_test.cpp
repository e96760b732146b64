#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
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

TEST_F(LogFile, GoesBesideThePlugInElseToLocalAppDataElseNowhere) {
    struct Case {
        const char* what;
        bool folderTakesFiles;
        bool appDataSet;
        bool appDataTakesFiles;
        const char* expectedAt;  // relative to the current directory; null: no log
        const char* appDataName = "appdata";
        const char* pluginBelow = "";  // the plug-in's folder below the game's
    };
    const char* const user = "\xD0\x9F\xD0\xB5\xD1\x82\xD1\x8F \xE2\x98\x85 \xE6\xA3\xAE";
    const std::string userLog = std::string(user) + "/Brackenfold/Brackenfold.log";
    const Case cases[] = {
        {"game folder", true, true, true, "Brackenfold.log"},
        {"fallback", false, true, true, "appdata/Brackenfold/Brackenfold.log"},
        {"fallback in a user folder of any name", false, true, true, userLog.c_str(), user},
        {"no LOCALAPPDATA", false, false, true, nullptr},
        {"fallback blocked too", false, true, false, nullptr},
        {"beside the plug-in in scripts", true, true, true, "scripts/Brackenfold.log", "appdata", "scripts"},
        {"scripts refuses it", false, true, true, "appdata/Brackenfold/Brackenfold.log", "appdata", "scripts"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        appDataName = test.appDataName;
        std::filesystem::remove_all("Brackenfold.log");
        std::filesystem::remove_all("scripts");
        std::filesystem::remove_all(appData());
        sim::reset();
        installPlugin(test.pluginBelow);
        findOwnFolder(pluginModule);
        if (!test.folderTakesFiles) {
            std::filesystem::create_directories(std::filesystem::path(test.pluginBelow) / "Brackenfold.log");
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
        EXPECT_EQ(std::filesystem::exists("Brackenfold.log"), *test.pluginBelow == '\0');
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

TEST_F(LogFile, AtStartTheLastRunsLogsAreKeptAndThoseOfTheRunBeforeGo) {
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> before;  // files and their bytes
        const char* previous;                                     // Brackenfold.previous.log after; null: none
        const char* previousKept;                                 // Brackenfold.previous.1.log after
    };
    const Case cases[] = {
        {"a first run", {}, nullptr, nullptr},
        {"a last run of one file", {{"Brackenfold.log", "last"}, {"Brackenfold.previous.1.log", "older run"}}, "last",
         nullptr},
        {"a last run of two files",
         {{"Brackenfold.log", "last, newest"},
          {"Brackenfold.1.log", "last, oldest"},
          {"Brackenfold.previous.log", "older run"},
          {"Brackenfold.previous.1.log", "older run, oldest"}},
         "last, newest", "last, oldest"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        for (const char* name : {logFileName, keptLogFileName, previousLogFileName, previousKeptLogFileName}) {
            std::filesystem::remove(name);
        }
        for (const auto& [name, bytes] : test.before) {
            std::ofstream(name, std::ios::binary) << bytes;
        }
        ASSERT_TRUE(openLog());
        logLine(LogLevel::Info, "new");
        closeLog();
        EXPECT_EQ(read(logFileName), "[00:00:00.000] INFO new\n");
        EXPECT_FALSE(std::filesystem::exists(keptLogFileName));
        EXPECT_EQ(std::filesystem::exists(previousLogFileName), test.previous != nullptr);
        EXPECT_EQ(std::filesystem::exists(previousKeptLogFileName), test.previousKept != nullptr);
        if (test.previous != nullptr) {
            EXPECT_EQ(read(previousLogFileName), test.previous);
        }
        if (test.previousKept != nullptr) {
            EXPECT_EQ(read(previousKeptLogFileName), test.previousKept);
        }
    }
}

// The log's lines without their time stamps.
std::vector<std::string> linesOf(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.substr(15));
    }
    return lines;
}

TEST_F(LogFile, PastOneMebibyteTheFullFileIsKeptAndAFreshOneBeginsWithTheHeading) {
    struct Case {
        const char* what;
        bool keptCanBeMade;
        const char* firstLine;  // of the fresh file, up to its first semicolon
        int blockLines = 0;     // the lines logged in blocks of this many; 0: none
    };
    const Case cases[] = {
        {"the full file kept", true,
         "INFO log: continued from Brackenfold.1.log, which holds the lines before (each file of the log holds at "
         "most 1 MiB)"},
        // As when a program holds it: the fresh file takes the full one's place.
        {"Brackenfold.1.log cannot be made", false,
         "WARN log: the full log could not be kept as Brackenfold.1.log (a program holds it without letting it be "
         "renamed, or the folder refuses)"},
        // Lines that wait in a block reach the file before it is kept, none lost or out of order.
        {"the lines logged in blocks", true,
         "INFO log: continued from Brackenfold.1.log, which holds the lines before (each file of the log holds at "
         "most 1 MiB)",
         100},
    };
    const std::string text(200, 'y');
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        std::filesystem::remove_all(keptLogFileName);
        if (!test.keptCanBeMade) {
            std::filesystem::create_directory(keptLogFileName);
        }
        ASSERT_TRUE(openLog());
        startLogHeading(LogHeading::start);
        logLine(LogLevel::Info, "Brackenfold 9.9.9 (C:\\Games\\RDR2\\Brackenfold.asi)");
        logLine(LogLevel::Info, "game: RDR2.exe 1.0.1491.50, image 12288 bytes");
        endLogHeading();
        startLogHeading(LogHeading::settingsInEffect);
        logLine(LogLevel::Info, "setting ReloadKey: F10 (121)");
        endLogHeading();
        logLine(LogLevel::Info, "not in the heading");
        // Read again: the settings' part is replaced.
        startLogHeading(LogHeading::settingsInEffect);
        logLine(LogLevel::Info, "setting ReloadKey: F6 (117)");
        endLogHeading();
        // Enough for two fresh files.
        for (int i = 0; i < 12'000;) {
            const std::optional<LogBlock> block =
                test.blockLines > 0 ? std::make_optional<LogBlock>() : std::nullopt;
            for (const int end = i + std::max(test.blockLines, 1); i < end; ++i) {
                logLine(LogLevel::Info, "%05d %s", i, text.c_str());
            }
            if (block && i == test.blockLines) {
                // Until the block ends, its lines wait.
                EXPECT_EQ(read(logFileName).find("00099"), std::string::npos);
            }
        }
        logLine(LogLevel::Info, "the newest");
        closeLog();
        const std::string log = read(logFileName);
        EXPECT_LE(log.size(), logCapacity);
        const std::vector<std::string> lines = linesOf(log);
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(lines[0].substr(0, lines[0].find(';')), test.firstLine);
        const std::vector<std::string> heading{lines.begin() + 1, lines.begin() + 4};
        EXPECT_EQ(heading, (std::vector<std::string>{"INFO Brackenfold 9.9.9 (C:\\Games\\RDR2\\Brackenfold.asi)",
                                                      "INFO game: RDR2.exe 1.0.1491.50, image 12288 bytes",
                                                      "INFO setting ReloadKey: F6 (117)"}));
        EXPECT_EQ(lines.back(), "INFO the newest");
        const int firstHere = std::stoi(lines[4].substr(5));
        EXPECT_GT(firstHere, 6000);
        if (test.keptCanBeMade) {
            // The lines go on from the kept file to the fresh one, none lost; the two hold about 2 MiB.
            const std::string kept = read(keptLogFileName);
            EXPECT_LE(kept.size(), logCapacity);
            EXPECT_GT(kept.size() + 2 * 227, logCapacity);
            const std::vector<std::string> keptLines = linesOf(kept);
            EXPECT_EQ(keptLines[0].substr(0, keptLines[0].find(';')), test.firstLine);
            EXPECT_EQ(std::stoi(keptLines.back().substr(5)), firstHere - 1);
        } else {
            EXPECT_TRUE(std::filesystem::is_directory(keptLogFileName));
        }
    }
}

}  // namespace
