// Scenarios of the settings file: the reload key chosen by code, name or
// combination, values not understood, odd files, changes while the game runs, and
// messages switched off.
#include <string>
#include <vector>

#include "tests/standin/driver.h"

namespace {

void settingsChooseF6() {
    settingsScenario("[BrackenfoldConfig]\r\nReloadKey=117\r\n", keyF6, keyF10);
}

void settingsNameF6() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey = F6\n", keyF6, keyF10);
}

void settingsOutOfRange() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey=256\n", keyF10, keyF6,
                     "Brackenfold: ReloadKey \"256\" not understood, F10 reloads");
}

// A code copied from another plug-in's settings.
void settingsHexadecimal() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey=0x75\n", keyF6, keyF10);
}

void settingsEmptyValue() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey=\n", keyF10, keyF6);
}

void settingsNotANumber() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey=reload\n", keyF10, keyF6,
                     "Brackenfold: ReloadKey \"reload\" not understood, F10 reloads");
}

void settingsWithByteOrderMark() {
    settingsScenario("\xEF\xBB\xBF[BrackenfoldConfig]\r\nReloadKey=117\r\n", keyF6, keyF10);
}

// `text` in UTF-16 with its byte order mark first, as Notepad saves "Unicode".
std::string utf16(const std::string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const wchar_t unit : wide(text)) {
        const char low = static_cast<char>(unit & 0xFF);
        const char high = static_cast<char>(unit >> 8);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// A name beyond ASCII in a UTF-16 file reaches the screen as it was written.
void settingsInUtf16LittleEndian() {
    settingsScenario(utf16("[BrackenfoldConfig]\r\nReloadKey=F6\r\nWatchFile=Мод ★.meta\r\n", false), keyF6, keyF10,
                     "Brackenfold: watched file not found: Мод ★.meta");
}

void settingsInUtf16BigEndian() {
    settingsScenario(utf16("[BrackenfoldConfig]\r\nReloadKey=F6\r\n", true), keyF6, keyF10);
}

// A line an older editor saved in the ANSI code page, among UTF-8 ones.
void settingsInTheAnsiCodePage() {
    wchar_t eAcute = 0;
    MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, &eAcute, 1);
    settingsScenario("[BrackenfoldConfig]\r\nReloadKey=F6\r\nWatchFile=Caf\xE9.meta\r\n", keyF6, keyF10,
                     ("Brackenfold: watched file not found: Caf" + utf8(std::wstring(1, eAcute)) + ".meta").c_str());
}

void settingsIsADirectory() {
    enterOwnDirectory();
    if (!makeFolder("BrackenfoldConfig.ini")) {
        fail("cannot make the directory BrackenfoldConfig.ini");
    }
    const Plugin plugin = loadPlugin();
    expectReloadKey(keyF10, keyF6);
    unloadPlugin(plugin);
}

void settingsHugeJunk() {
    enterOwnDirectory();
    std::string junk(30u << 20, '\0');
    std::uint32_t state = 0x2545F491u;
    for (char& byte : junk) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    writeSettings(junk);
    const Plugin plugin = loadPlugin();
    expectReloadKey(keyF10, keyF6);
    unloadPlugin(plugin);
}

void ctrlF10NeedsCtrl() {
    enterOwnDirectory();
    writeSettings("[BrackenfoldConfig]\nReloadKey = ctrl + f10\n");
    const Plugin plugin = loadPlugin();
    pressAndRelease(keyF10);
    expectFrame(idleFrame(), "F10 released without Ctrl");
    press(keyCtrl);
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "F10 released while Ctrl is held");
    release(keyCtrl);
    pressAndRelease(keyF10);
    expectFrame(idleFrame(), "F10 released after Ctrl was let go");
    unloadPlugin(plugin);
    const std::vector<std::string> lines = logLines();
    expectLogLine(lines, "INFO setting ReloadKey: Ctrl+F10 (121)");
    expectLogLine(lines, "INFO key: F10 released without Ctrl held; Ctrl+F10 reloads");
}

void altF10ThroughTheReleaseMessage() {
    enterOwnDirectory();
    writeSettings("[BrackenfoldConfig]\nReloadKey=Alt+F10\n");
    const Plugin plugin = loadPlugin();
    press(keyF10);
    release(keyF10, false, true);
    expectFrame(reloadFrame(), "F10 released with Alt, as the release message says");
    pressAndRelease(keyF10);
    expectFrame(idleFrame(), "F10 released without Alt");
    unloadPlugin(plugin);
}

// The player edits the settings while the game runs: the new key takes over.
void settingsRewrittenWhileRunning() {
    enterOwnDirectory();
    writeSettings("[BrackenfoldConfig]\nReloadKey=F10\n");
    const Plugin plugin = loadPlugin();
    expectReloadKey(keyF10, keyF6);
    writeSettings("[BrackenfoldConfig]\r\nReloadKey=F6\r\n");
    expectShownOnceWithin("Brackenfold: settings reloaded, F6 reloads", 2500);
    expectReloadKey(keyF6, keyF10);
    writeSettings("[BrackenfoldConfig]\nReloadKey=Ctrl+Banana\n");
    expectShownOnceWithin("Brackenfold: ReloadKey \"Ctrl+Banana\" not understood, F6 reloads", 2500);
    expectReloadKey(keyF6, keyF10);
    unloadPlugin(plugin);
    expectLogLine(logLines(), "INFO settings: BrackenfoldConfig.ini changed; read again");
}

void showMessagesOff() {
    enterOwnDirectory();
    writeSettings("[BrackenfoldConfig]\nShowMessages = Off\nReloadKey=reload\n");
    const Plugin plugin = loadPlugin();
    pressAndRelease(keyF10);
    expectFrame(silentReloadFrame(), "a reload with messages off");
    {
        const PatchedRoutine patched;
        pressAndRelease(keyF10);
        expectFrame(idleFrame(), "a release with the routine gone and messages off");
    }
    unloadPlugin(plugin);
    expectLogLine(logLines(), "WARN setting ReloadKey \"reload\" not used");
}

}  // namespace

std::vector<Scenario> settingsScenarios() {
    return {
        {"settings_choose_f6", settingsChooseF6},
        {"settings_name_f6", settingsNameF6},
        {"settings_out_of_range", settingsOutOfRange},
        {"settings_hexadecimal", settingsHexadecimal},
        {"settings_empty_value", settingsEmptyValue},
        {"settings_not_a_number", settingsNotANumber},
        {"settings_with_byte_order_mark", settingsWithByteOrderMark},
        {"settings_in_utf16_little_endian", settingsInUtf16LittleEndian},
        {"settings_in_utf16_big_endian", settingsInUtf16BigEndian},
        {"settings_in_the_ansi_code_page", settingsInTheAnsiCodePage},
        {"settings_is_a_directory", settingsIsADirectory},
        {"settings_huge_junk", settingsHugeJunk},
        {"ctrl_f10_needs_ctrl", ctrlF10NeedsCtrl},
        {"alt_f10_through_the_release_message", altF10ThroughTheReleaseMessage},
        {"settings_rewritten_while_running", settingsRewrittenWhileRunning},
        {"show_messages_off", showMessagesOff},
    };
}
