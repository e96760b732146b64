#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "keys/key_names.h"
#include "reload/live_settings.h"
#include "settings/settings.h"
#include "reload/reload_loop.h"
#include "tests/plugin_fixture.h"

namespace {

using ReloadKeySetting = InTempDirectory;

// The reload key after loading a settings file of `content`, starting from F10.
std::uint32_t keyAfterLoading(const std::string& content) {
    activeSettings.reloadKey.key = defaultReloadKey;
    {
        std::ofstream file(settingsFileName, std::ios::binary | std::ios::trunc);
        file << content;
    }
    loadSettings();
    return activeSettings.reloadKey.key;
}

std::uint32_t keyFromValue(const std::string& value) {
    return keyAfterLoading("[BrackenfoldConfig]\nReloadKey=" + value + "\n");
}

TEST_F(ReloadKeySetting, NoFileKeepsF10) {
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 121u);
    EXPECT_EQ(settings.size(), 0u);
}

TEST_F(ReloadKeySetting, DecimalCodeInTheSectionIsUsed) {
    EXPECT_EQ(keyFromValue("117"), 117u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\r\nReloadKey = 117\r\n"), 117u);
    EXPECT_EQ(keyAfterLoading("; settings\n[Other]\nReloadKey=5\n[BrackenfoldConfig]\nOther=1\nReloadKey=117"),
              117u);
}

TEST_F(ReloadKeySetting, OnlyTheNumberAtTheStartOfTheValueCounts) {
    EXPECT_EQ(keyFromValue("121 ; F10"), 121u);
    EXPECT_EQ(keyFromValue("118 ; F7"), 118u);
    EXPECT_EQ(keyFromValue("117abc"), 117u);
    EXPECT_EQ(keyFromValue("+117"), 117u);
    EXPECT_EQ(keyFromValue("  \t117"), 117u);
    EXPECT_EQ(keyFromValue("0117"), 117u);
    EXPECT_EQ(keyFromValue("117.9"), 117u);
}

TEST_F(ReloadKeySetting, CodesOutsideOneTo255KeepTheKey) {
    for (const char* value : {"0", "-1", "256", "1000", "-117", "2147483647", "-2147483648"}) {
        EXPECT_EQ(keyFromValue(value), 121u) << value;
    }
}

TEST_F(ReloadKeySetting, HexadecimalCodeCountsOnlyWhole) {
    EXPECT_EQ(keyFromValue("0x75"), 117u);
    EXPECT_EQ(keyFromValue("0X75"), 117u);
    for (const char* value : {"0x75z", "0x100", "0x0", "0x", "0x75 ; F6"}) {
        EXPECT_EQ(keyFromValue(value), 121u) << value;
    }
}

TEST_F(ReloadKeySetting, BoundsOneAnd255AreAccepted) {
    EXPECT_EQ(keyFromValue("1"), 1u);
    EXPECT_EQ(keyFromValue("255"), 255u);
}

TEST_F(ReloadKeySetting, ValueWithoutANumberOrOutOf32BitsKeepsTheKey) {
    for (const char* value : {"", "abc", "+", "-", " ", "99999999999", "-99999999999", "2147483648",
                              "-2147483649", "18446744073709551617"}) {
        EXPECT_EQ(keyFromValue(value), 121u) << '"' << value << '"';
    }
}

TEST_F(ReloadKeySetting, ReloadKeyAboveTheFirstSectionDoesNotCount) {
    EXPECT_EQ(keyAfterLoading("ReloadKey=117\n[BrackenfoldConfig]\n"), 121u);
    EXPECT_EQ(keyAfterLoading("ReloadKey=117\n[BrackenfoldConfig]\nReloadKey=118\n"), 118u);
}

TEST_F(ReloadKeySetting, RepeatedSectionMergesAndTheLaterKeyWins) {
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\nReloadKey=117\n[Other]\nReloadKey=5\n"
                              "[BrackenfoldConfig]\nReloadKey=118\n"),
              118u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\nReloadKey=117\n[Other]\nX=1\n[BrackenfoldConfig]\nY=2\n"),
              117u);
}

TEST_F(ReloadKeySetting, EmptyFileOrMissingSectionOrKeyKeepsTheKey) {
    EXPECT_EQ(keyAfterLoading(""), 121u);
    EXPECT_EQ(keyAfterLoading("[Other]\nReloadKey=117\n"), 121u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\nReload=117\n"), 121u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\n"), 121u);
}

TEST_F(ReloadKeySetting, NamesMustHaveTheExactLetterCase) {
    EXPECT_EQ(keyAfterLoading("[brackenfoldconfig]\nReloadKey=117\n"), 121u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\nreloadkey=117\n"), 121u);
    EXPECT_EQ(keyAfterLoading("[BRACKENFOLDCONFIG]\nRELOADKEY=117\n"), 121u);
}

TEST_F(ReloadKeySetting, KeyNamesGiveTheirVirtualKeyCodes) {
    EXPECT_EQ(keyFromValue("F6"), 0x75u);
    EXPECT_EQ(keyFromValue("f6"), 0x75u);
    EXPECT_EQ(keyFromValue(" VK_F6 "), 0x75u);
    EXPECT_EQ(keyFromValue("vk_numpad5"), 0x65u);
    EXPECT_EQ(keyFromValue("A"), 0x41u);
    EXPECT_EQ(keyFromValue("PageUp"), 0x21u);
    EXPECT_EQ(keyFromValue("ScrollLock"), 0x91u);
    EXPECT_EQ(keyFromValue("F24"), 0x87u);
    EXPECT_EQ(keyFromValue("VK_NEXT"), 0x22u);
    EXPECT_EQ(keyFromValue("vk_oem_3"), 0xC0u);
}

TEST_F(ReloadKeySetting, UnknownKeyNamesKeepTheKey) {
    for (const char* value : {"F25", "Foo", "F0", "F01", "VK_", "Numpad10", "AB", "F6 ; remark", "-F6", "NEXT", "VK_NEXTT"}) {
        EXPECT_EQ(keyFromValue(value), 121u) << value;
    }
}

TEST_F(ReloadKeySetting, SecondLoadStartsFromTheKeyTheFirstLeft) {
    writeSettings("[BrackenfoldConfig]\nReloadKey=117\n");
    loadSettings();
    ASSERT_EQ(activeSettings.reloadKey.key, 117u);

    writeSettings("[BrackenfoldConfig]\nReloadKey=0\n");
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 117u);

    std::filesystem::remove(settingsFileName);
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 117u);

    writeSettings("[BrackenfoldConfig]\nReloadKey=118\n");
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 118u);
}

TEST_F(ReloadKeySetting, EachReadReplacesTheDocument) {
    writeSettings("[BrackenfoldConfig]\nReloadKey=117\n[Other]\nX=1\n");
    loadSettings();
    EXPECT_EQ(settings.size(), 2u);
    writeSettings("[BrackenfoldConfig]\nReloadKey=118\n");
    loadSettings();
    EXPECT_EQ(settings.size(), 1u);
    EXPECT_EQ(settings.get("BrackenfoldConfig").get("ReloadKey"), "118");
}

TEST_F(ReloadKeySetting, DirectoryInPlaceOfTheFileKeepsTheKey) {
    std::filesystem::create_directory(settingsFileName);
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 121u);
}

TEST_F(ReloadKeySetting, FileWithAByteOrderMarkIsRead) {
    EXPECT_EQ(keyAfterLoading("\xEF\xBB\xBF[BrackenfoldConfig]\nReloadKey=117\n"), 117u);
}

}  // namespace

namespace {

// What the plug-in told since the last look: new log lines without time stamps,
// and the notices shown on screen or still waiting.
struct Told {
    std::vector<std::string> log;
    std::vector<std::string> notices;
};

std::size_t logLinesSeen = 0;

Told told(const char* log = "Brackenfold.log") {
    Told result;
    std::ifstream file(log, std::ios::binary);
    std::size_t index = 0;
    for (std::string line; std::getline(file, line); ++index) {
        if (index >= logLinesSeen) {
            result.log.push_back(line.substr(15));
        }
    }
    logLinesSeen = index;
    for (const sim::Call& call : sim::calls()) {
        if (call.kind == sim::CallKind::NativePush64) {
            result.notices.emplace_back(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(call.value)));
        }
    }
    sim::clearCalls();
    for (std::size_t i = 0; i < queuedNotices(); ++i) {
        result.notices.emplace_back(queuedNotice(i));
    }
    clearNotices();
    return result;
}

Told loadFile(const std::optional<std::string>& content) {
    activeSettings = Settings{};
    std::filesystem::remove(settingsFileName);
    if (content) {
        std::ofstream(settingsFileName, std::ios::binary) << *content;
    }
    openLog();
    logLinesSeen = 0;
    loadSettings();
    return told();
}

using SettingsLog = InTempDirectory;

TEST_F(SettingsLog, EverySettingIsLoggedAndEachValueNotUsedWithWhyAndWhatInstead) {
    const std::string inEffectDefault[] = {"INFO setting ReloadKey: F10 (121)", "INFO setting ShowMessages: on",
                                           "INFO setting WatchFile: none"};
    struct Case {
        const char* what;
        std::optional<std::string> file;
        std::vector<std::string> log;
        std::vector<std::string> notices;
    };
    const std::string found = "INFO settings: BrackenfoldConfig.ini found";
    // The same two values in each encoding a player's editor may save.
    const std::string accented = "[BrackenfoldConfig]\nReloadKey=Fl\u00E8che\nWatchFile=lml\\V\u00E9g\u00E9tation\n";
    const std::vector<std::string> accentedLog{
        found,
        "WARN setting ReloadKey \"Fl\u00E8che\" not used (not a key code from 1 to 255, a key name or a combination); "
        "F10 (121) is used instead",
        inEffectDefault[0], inEffectDefault[1], "INFO setting WatchFile: \"lml\\V\u00E9g\u00E9tation\"",
        "INFO setting KeepVersions: 20"};
    const std::vector<std::string> accentedNotices{"Brackenfold: ReloadKey \"Fl\u00E8che\" not understood, F10 reloads"};
    const Case cases[] = {
        {"no file", std::nullopt,
         {"INFO settings: BrackenfoldConfig.ini not found in the game's folder; the defaults are used",
          inEffectDefault[0], inEffectDefault[1], inEffectDefault[2]},
         {}},
        {"all set",
         "[BrackenfoldConfig]\nReloadKey = Ctrl+F6\nShowMessages=No\nWatchFile = \"mods\\veg.meta\"\n"
         "KeepVersions = 5 copies\n",
         {found, "INFO setting ReloadKey: Ctrl+F6 (117)", "INFO setting ShowMessages: off",
          "INFO setting WatchFile: \"mods\\veg.meta\"", "INFO setting KeepVersions: 5"},
         {}},
        {"versions kept of a watched folder, bounds", "[BrackenfoldConfig]\nWatchFile=lml\nKeepVersions=1000\n",
         {found, inEffectDefault[0], inEffectDefault[1], "INFO setting WatchFile: \"lml\"",
          "INFO setting KeepVersions: 1000"},
         {}},
        {"versions count not understood", "[BrackenfoldConfig]\nWatchFile=lml\nKeepVersions=1001\n",
         {found,
          "WARN setting KeepVersions \"1001\" not used (not a number from 0 to 1000); 20 is used instead",
          inEffectDefault[0], inEffectDefault[1], "INFO setting WatchFile: \"lml\"", "INFO setting KeepVersions: 20"},
         {"Brackenfold: KeepVersions \"1001\" not understood, F10 reloads"}},
        {"empty values count as absent", "[BrackenfoldConfig]\nReloadKey=\nShowMessages=\nWatchFile=\"\"\n",
         {found, inEffectDefault[0], inEffectDefault[1], inEffectDefault[2]},
         {}},
        {"values not understood and a misspelt name",
         "[BrackenfoldConfig]\nReloadKey=Banana\nRelaodKey=117\nShowMessages=perhaps\x01\nWatchFile=\"a.meta\n"
         "KeepVersions=-1\n",
         {found,
          "WARN setting ReloadKey \"Banana\" not used (not a key code from 1 to 255, a key name or a combination); "
          "F10 (121) is used instead",
          "WARN unknown setting \"RelaodKey\" in [BrackenfoldConfig] ignored (names are case-sensitive)",
          "WARN setting ShowMessages \"perhaps?\" not used (not 1/0, true/false, yes/no or on/off); on is used instead",
          "WARN setting WatchFile \"\"a.meta\" not used (an unmatched quote, or longer than 32767 characters); none is "
          "used instead",
          "WARN setting KeepVersions \"-1\" not used (not a number from 0 to 1000); 20 is used instead",
          inEffectDefault[0], inEffectDefault[1], inEffectDefault[2]},
         {"Brackenfold: ReloadKey \"Banana\" not understood, F10 reloads"}},
        {"unknown name first, long odd value cut",
         "[BrackenfoldConfig]\nreloadkey=117\nReloadKey=F6\nShowMessages=" + std::string(70, 'z') + "\x7F\xC3\n",
         {found, "WARN unknown setting \"reloadkey\" in [BrackenfoldConfig] ignored (names are case-sensitive)",
          "WARN setting ShowMessages \"" + std::string(64, 'z') +
              "\" not used (not 1/0, true/false, yes/no or on/off); on is used instead",
          "INFO setting ReloadKey: F6 (117)", inEffectDefault[1], inEffectDefault[2]},
         {"Brackenfold: unknown setting \"reloadkey\", F6 reloads"}},
        {"accents in UTF-8", accented, accentedLog, accentedNotices},
        {"accents in UTF-8 with a byte order mark", "\xEF\xBB\xBF" + accented, accentedLog, accentedNotices},
        {"accents in UTF-16, little-endian", utf16File(accented, false), accentedLog, accentedNotices},
        {"accents in UTF-16, big-endian", utf16File("\r\n" + accented + "\r\n", true), accentedLog, accentedNotices},
        {"accents in the ANSI code page of an older editor",
         "[BrackenfoldConfig]\nReloadKey=Fl\xE8" "che\nWatchFile=lml\\V\xE9g\xE9tation\n", accentedLog,
         accentedNotices},
        {"section name in other letters", "[brackenfoldconfig]\nReloadKey=117\n",
         {found,
          "WARN settings: BrackenfoldConfig.ini has no [BrackenfoldConfig] section (names are case-sensitive); "
          "defaults are used",
          inEffectDefault[0], inEffectDefault[1], inEffectDefault[2]},
         {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const Told result = loadFile(test.file);
        EXPECT_EQ(result.log, test.log);
        EXPECT_EQ(result.notices, test.notices);
    }
    // The screen cuts a value at 32 characters, between characters, and shows "?"
    // for a control character; the log cuts at 64.
    std::string letters;
    for (int i = 0; i < 40; ++i) {
        letters += "\u00E4";
    }
    const Told cut = loadFile("[BrackenfoldConfig]\nReloadKey=\x01" + letters + "\n");
    EXPECT_EQ(cut.notices, std::vector<std::string>{"Brackenfold: ReloadKey \"?" + letters.substr(0, 2 * 31) +
                                                    "\" not understood, F10 reloads"});
    EXPECT_NE(cut.log.at(1).find("\"?" + letters + "\" not used"), std::string::npos);
}

TEST_F(SettingsLog, TheFileBesideThePlugInCountsElseTheGameFoldersAndTheOneReadIsWatched) {
    struct Case {
        const char* what;
        const char* below;   // where the plug-in was loaded from
        const char* beside;  // the key in a file beside it, if any
        const char* game;    // the key in a file in the game's folder, if any
        std::uint32_t key;
        std::vector<std::string> log;
        const char* watched;
    };
    const std::string besideFound = "INFO settings: scripts\\BrackenfoldConfig.ini found";
    const Case cases[] = {
        {"beside it in scripts", "scripts", "F9", nullptr, 0x78, {besideFound}, "scripts/BrackenfoldConfig.ini"},
        {"in both folders", "scripts", "F9", "F6", 0x78,
         {"WARN settings: BrackenfoldConfig.ini in the game's folder not read; scripts\\BrackenfoldConfig.ini, beside "
          "the plug-in, counts",
          besideFound},
         "scripts/BrackenfoldConfig.ini"},
        {"only in the game's folder", "scripts", nullptr, "F6", 0x75, {"INFO settings: BrackenfoldConfig.ini found"},
         "BrackenfoldConfig.ini"},
        {"in neither: the one beside it is watched for", "scripts", nullptr, nullptr, 121,
         {"INFO settings: BrackenfoldConfig.ini not found beside the plug-in (scripts\\) nor in the game's folder; "
          "the defaults are used"},
         "scripts/BrackenfoldConfig.ini"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        std::filesystem::remove_all("scripts");
        std::filesystem::remove(settingsFileName);
        sim::reset();
        activeSettings = Settings{};
        findOwnFolder(pluginModule = nullptr);
        installPlugin(test.below);
        findOwnFolder(pluginModule);
        const auto write = [](const std::string& path, const std::string& key) {
            std::ofstream(path, std::ios::binary | std::ios::trunc) << "[BrackenfoldConfig]\nReloadKey=" << key << "\n";
        };
        const auto besidePlugin = [&](const char* name) { return (std::filesystem::path(test.below) / name).string(); };
        if (test.beside != nullptr) {
            write(besidePlugin(settingsFileName), test.beside);
        }
        if (test.game != nullptr) {
            write(settingsFileName, test.game);
        }
        openLog();
        logLinesSeen = 0;
        loadSettings();
        const Told result = told(besidePlugin("Brackenfold.log").c_str());
        EXPECT_EQ(activeSettings.reloadKey.key, test.key);
        EXPECT_EQ(std::vector<std::string>(result.log.begin(), result.log.begin() + test.log.size()), test.log);
        // Saved while the game runs: the file read is the one read again.
        write(test.watched, "Ctrl+F11");
        sim::advanceTickCount(settingsCheckIntervalMs);
        EXPECT_TRUE(pollSettings(tickCount()));
        EXPECT_EQ(activeSettings.reloadKey, (KeyChord{0x7A, ctrlModifier}));
        closeLog();
    }
}

// The settings file changing while the game runs, looked at by the passes.
class SettingsReread : public InTempDirectory {
protected:
    void SetUp() override {
        InTempDirectory::SetUp();
        sim::setTickCount(10'000);
        write("[BrackenfoldConfig]\nReloadKey=Ctrl+F10\n", 1000);
        openLog();
        logLinesSeen = 0;
        loadSettings();
        told();
    }

    // Writes the file with a last-write time of `second` seconds after an epoch.
    static void write(const std::string& content, int second) {
        std::ofstream(settingsFileName, std::ios::binary | std::ios::trunc) << content;
        std::filesystem::last_write_time(settingsFileName,
                                         std::filesystem::file_time_type(std::chrono::seconds(second)));
    }

    // Passes, one each 16 ms, for `milliseconds`; what they told.
    static Told runFor(std::uint32_t milliseconds) {
        for (std::uint32_t t = 0; t < milliseconds; t += 16) {
            runPass();
            sim::advanceTickCount(16);
        }
        return told();
    }
};

TEST_F(SettingsReread, ChangedTimeOrSizeIsReadWithinTwoSecondsAndOneQueryASecondAtMost) {
    // A new size with the same time, then the same size with a new time.
    write("[BrackenfoldConfig]\nReloadKey=Shift+F10\n", 1000);
    const std::size_t queries = sim::fileQueries();
    Told result = runFor(2000);
    EXPECT_EQ(activeSettings.reloadKey, (KeyChord{121, shiftModifier}));
    EXPECT_EQ(result.notices, std::vector<std::string>{"Brackenfold: settings reloaded, Shift+F10 reloads"});
    EXPECT_EQ(result.log[0], "INFO settings: BrackenfoldConfig.ini changed; read again");
    EXPECT_LE(sim::fileQueries() - queries, 3u);  // two looks, and one more after the read

    write("[BrackenfoldConfig]\nReloadKey=Ctrl+F1\n", 1001);
    result = runFor(2000);
    EXPECT_EQ(activeSettings.reloadKey, (KeyChord{112, ctrlModifier}));
    EXPECT_EQ(result.notices, std::vector<std::string>{"Brackenfold: settings reloaded, Ctrl+F1 reloads"});

    // Unchanged: looked at, not read.
    result = runFor(5000);
    EXPECT_TRUE(result.log.empty());
    EXPECT_TRUE(result.notices.empty());
}

TEST_F(SettingsReread, ValueNotUnderstoodKeepsTheValueInEffectAndAbsentOnesTakeTheDefault) {
    write("[BrackenfoldConfig]\nReloadKey=Ctrl+F25\n", 1002);
    Told result = runFor(2000);
    EXPECT_EQ(activeSettings.reloadKey, (KeyChord{121, ctrlModifier}));
    EXPECT_EQ(result.notices,
              std::vector<std::string>{"Brackenfold: ReloadKey \"Ctrl+F25\" not understood, Ctrl+F10 reloads"});

    // With messages off, nothing is shown; the log still has it.
    write("[BrackenfoldConfig]\nReloadKey=Banana\nShowMessages=off\n", 1003);
    result = runFor(2000);
    EXPECT_EQ(activeSettings.reloadKey, (KeyChord{121, ctrlModifier}));
    EXPECT_FALSE(activeSettings.showMessages);
    EXPECT_TRUE(result.notices.empty());
    EXPECT_EQ(result.log.size(), 5u);

    write("[BrackenfoldConfig]\n", 1004);
    runFor(2000);
    EXPECT_EQ(activeSettings, Settings{});
}

TEST_F(SettingsReread, VanishedFileKeepsTheSettingsAndItsReturnIsAChange) {
    std::filesystem::remove(settingsFileName);
    Told result = runFor(3000);
    EXPECT_EQ(activeSettings.reloadKey, (KeyChord{121, ctrlModifier}));
    EXPECT_EQ(result.log, std::vector<std::string>{"WARN settings: BrackenfoldConfig.ini is gone; the settings in effect stay"});
    EXPECT_TRUE(result.notices.empty());

    write("[BrackenfoldConfig]\nReloadKey=Ctrl+F10\n", 1000);
    result = runFor(2000);
    EXPECT_EQ(result.notices, std::vector<std::string>{"Brackenfold: settings reloaded, Ctrl+F10 reloads"});
}

}  // namespace
