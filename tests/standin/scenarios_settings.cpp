// Scenarios of the settings file: the reload key chosen by code, name or
// combination, values not understood, odd files, changes while the game runs, and
// messages switched off.
#include <string>

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

void settingsHexadecimal() {
    settingsScenario("[BrackenfoldConfig]\nReloadKey=0x75\n", keyF10, keyF6,
                     "Brackenfold: ReloadKey \"0x75\" not understood, F10 reloads");
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

void settingsIsADirectory() {
    enterOwnDirectory();
    if (CreateDirectoryA("BrackenfoldConfig.ini", nullptr) == 0) {
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
        {"settings_is_a_directory", settingsIsADirectory},
        {"settings_huge_junk", settingsHugeJunk},
    };
}
