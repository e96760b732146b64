#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/plugin_fixture.h"
#include "history/kept_versions.h"

namespace {

namespace fs = std::filesystem;

LocalTime at(std::uint16_t hour, std::uint16_t minute, std::uint16_t second) {
    return {2026, 12, 8, hour, minute, second, 0};
}

TEST(KeptVersionNames, PathBelowTheFolderWithSeparatorsAsUnderscoresAndTheTimeOfTheCopy) {
    EXPECT_EQ(keptName("MyMod\\VegetationModifiers.meta"), "MyMod_VegetationModifiers");
    EXPECT_EQ(keptName("a/b\\vegetationmodifiers.META"), "a_b_vegetationmodifiers");
    EXPECT_EQ(keptName("Vegetation Modifiers.xml"), "Vegetation Modifiers.xml");
    EXPECT_EQ(keptName(".meta"), ".meta");
    EXPECT_EQ(keptName("\xD0\x9C\xD0\xBE\xD0\xB4 \xE2\x98\x85\\VegetationModifiers.meta"),
              "\xD0\x9C\xD0\xBE\xD0\xB4 \xE2\x98\x85_VegetationModifiers");
    EXPECT_EQ(keptCopyName("MyMod_VegetationModifiers", at(21, 4, 17), 1),
              "MyMod_VegetationModifiers.2026-12-08_21-04-17.meta");
    EXPECT_EQ(keptCopyName("x", at(9, 0, 5), 12), "x.2026-12-08_09-00-05-12.meta");

    // Only names two files would share take a mark, made from each one's own path.
    const std::vector<std::string_view> belows{"A_B\\VegetationModifiers.meta", "A\\B\\VegetationModifiers.meta",
                                               "a/b/vegetationmodifiers.meta", "ModC\\VegetationModifiers.meta"};
    EXPECT_EQ(keptNames(belows), (std::vector<std::string>{"A_B_VegetationModifiers~6a23828e",
                                                           "A_B_VegetationModifiers~fd68c15b",
                                                           "a_b_vegetationmodifiers~fa719e9b",
                                                           "ModC_VegetationModifiers"}));
    EXPECT_EQ(keptNames({belows[1], belows[3]}),
              (std::vector<std::string>{"A_B_VegetationModifiers", "ModC_VegetationModifiers"}));

    struct Case {
        const char* file;
        const char* name;  // empty: not a copy
        unsigned number;
    };
    const Case cases[] = {
        {"MyMod_VegetationModifiers.2026-12-08_21-04-17.meta", "MyMod_VegetationModifiers", 1},
        {"a.b.2026-12-08_21-04-17-3.meta", "a.b", 3},
        {"\xD0\x9C\xD0\xBE\xD0\xB4 \xE2\x98\x85_VegetationModifiers.2026-12-08_21-04-17-12.meta",
         "\xD0\x9C\xD0\xBE\xD0\xB4 \xE2\x98\x85_VegetationModifiers", 12},
        {"x.2026-12-08_21-04-17.meta.bak", "", 0},
        {"x.2026-12-08_21-04-17-1.meta", "", 0},
        {"x.2026-12-08_21-04-17-02.meta", "", 0},
        {"x.2026-12-8_21-04-17.meta", "", 0},
        {"x.2026-12-08_21-04-17.META", "", 0},
        {".2026-12-08_21-04-17.meta", "", 0},
        {"x_2026-12-08_21-04-17.meta", "", 0},
        {"notes.txt", "", 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.file);
        const KeptCopy copy = parseKeptCopy(test.file);
        EXPECT_EQ(copy.name, test.name);
        if (!copy.name.empty()) {
            EXPECT_EQ(copy.number, test.number);
            EXPECT_EQ(copy.stamp, "2026-12-08_21-04-17");
        }
    }
}

class KeptVersions : public InTempDirectory {
protected:
    void SetUp() override {
        InTempDirectory::SetUp();
        sim::setLocalDate(2026, 12, 8);
        sim::setLocalTime(21, 4, 17, 0);
    }

    static std::vector<std::string> filesIn(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::string read(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
};

TEST_F(KeptVersions, NewBytesAreCopiedSameSecondGetsASuffixAndOnlyTheNewestOfTheirOwnNameStay) {
    fs::create_directory(historyFolderName);
    // Files that are no copies of this name, or of no name at all, are never touched.
    const std::vector<std::string> others{"MyMod_VegetationModifiers.2026-12-08_21-04-17.meta.bak",
                                          "Other_VegetationModifiers.2020-01-01_00-00-00.meta", "notes.txt"};
    for (const std::string& other : others) {
        std::ofstream(fs::path(historyFolderName) / other) << "keep me";
    }
    std::ofstream(fs::path(historyFolderName) / "MyMod_VegetationModifiers.2020-01-01_00-00-00.meta") << "v0";

    History history;
    const std::string name = "MyMod_VegetationModifiers";
    Kept kept = keepVersion(history, name, "v1", 3);
    EXPECT_TRUE(kept.made);
    EXPECT_EQ(kept.copy, "BrackenfoldHistory\\MyMod_VegetationModifiers.2026-12-08_21-04-17.meta");
    EXPECT_EQ(read("BrackenfoldHistory/MyMod_VegetationModifiers.2026-12-08_21-04-17.meta"), "v1");
    // The same bytes again: the newest copy already holds them.
    EXPECT_EQ(keepVersion(history, name, "v1", 3).copy, kept.copy);
    EXPECT_FALSE(keepVersion(history, name, "v1", 3).made);
    kept = keepVersion(history, name, "v2", 3);
    EXPECT_EQ(kept.copy, "BrackenfoldHistory\\MyMod_VegetationModifiers.2026-12-08_21-04-17-2.meta");
    keepVersion(history, name, "v3", 3);
    sim::setLocalTime(21, 4, 18, 0);
    // A fresh reload lists the folder anew.
    History next;
    EXPECT_TRUE(keepVersion(next, name, "v4", 3).made);

    std::vector<std::string> expected = others;
    expected.insert(expected.end(), {"MyMod_VegetationModifiers.2026-12-08_21-04-17-2.meta",
                                     "MyMod_VegetationModifiers.2026-12-08_21-04-17-3.meta",
                                     "MyMod_VegetationModifiers.2026-12-08_21-04-18.meta"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesIn(historyFolderName), expected);
    for (const std::string& other : others) {
        EXPECT_EQ(read(fs::path(historyFolderName) / other), "keep me");
    }
}

TEST_F(KeptVersions, MoreCopiesInOneSecondThanAreKeptLeaveTheNewestAndNeverTheOneJustMade) {
    fs::create_directory(historyFolderName);
    const std::string name = "veg";
    const std::string stamp = "BrackenfoldHistory/veg.2026-12-08_21-04-17";
    struct Step {
        const char* bytes;
        const char* kept;  // the copy that holds them, after the history folder is listed anew
        std::vector<std::string> after;
    };
    const Step steps[] = {
        {"v1", ".meta", {".meta"}},
        {"v2", "-2.meta", {".meta", "-2.meta"}},
        // The cap frees the plain name; the next copy still comes after the highest.
        {"v3", "-3.meta", {"-2.meta", "-3.meta"}},
        {"v4", "-4.meta", {"-3.meta", "-4.meta"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.bytes);
        History history;
        const Kept kept = keepVersion(history, name, step.bytes, 2);
        EXPECT_TRUE(kept.made);
        EXPECT_EQ(kept.copy, "BrackenfoldHistory\\veg.2026-12-08_21-04-17" + std::string(step.kept));
        EXPECT_EQ(read(stamp + step.kept), step.bytes);
        std::vector<std::string> expected;
        for (const std::string& suffix : step.after) {
            expected.push_back("veg.2026-12-08_21-04-17" + suffix);
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(filesIn(historyFolderName), expected);
    }
    // A clock set back makes the new copy the oldest by its name: it stays all the same.
    sim::setLocalTime(20, 0, 0, 0);
    History history;
    EXPECT_TRUE(keepVersion(history, name, "v5", 2).made);
    EXPECT_EQ(filesIn(historyFolderName),
              (std::vector<std::string>{"veg.2026-12-08_20-00-00.meta", "veg.2026-12-08_21-04-17-4.meta"}));
}

// A scanner or a backup opens a file just written, and a disk fills: two refusals
// meet on the copy being written, and no file under a copy's name holds less than
// a version the game received; the next copy goes to the same folder and removes
// what was left.
TEST_F(KeptVersions, RefusalsThatMeetOnACopyLeaveNoPartUnderACopysNameAndTheNextCopyMendsIt) {
    using sim::FileCall;
    struct Case {
        const char* what;
        std::vector<std::pair<FileCall, std::uint32_t>> refused;  // on the part being written, with the error
        std::string logged;                                      // the warning, after the part's name
    };
    const std::string stays = ", and the part left is no copy: the next copy made removes it";
    const Case cases[] = {
        {"its write refused, then its delete", {{FileCall::write, 112}, {FileCall::remove, 32}},
         " cannot be written (the disk is full; Windows error 112); this version is not kept" + stays},
        {"its write cut short, then its delete", {{FileCall::shortWrite, 0}, {FileCall::remove, 5}},
         " cannot be written (the disk is full; Windows error 112); this version is not kept" + stays},
        {"its rename refused, then its delete", {{FileCall::rename, 32}, {FileCall::remove, 32}},
         " cannot take its copy's name (in use by another program; Windows error 32); this version is not kept" +
             stays},
        {"its rename refused, its delete done", {{FileCall::rename, 32}},
         " cannot take its copy's name (in use by another program; Windows error 32); this version is not kept"},
        {"its making refused by a program", {{FileCall::create, 32}},
         " cannot be made (in use by another program; Windows error 32)"},
    };
    const std::string name = "ModA_VegetationModifiers";
    const std::string part = "BrackenfoldHistory\\ModA_VegetationModifiers.2026-12-08_21-04-17.meta.partial";
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        fs::remove_all(historyFolderName);
        fs::create_directory(historyFolderName);
        std::ofstream(fs::path(historyFolderName) / (name + ".2026-12-08_20-00-00.meta")) << "v0";
        ASSERT_TRUE(openLog());
        for (const auto& [call, error] : test.refused) {
            sim::refuseFileCall(call, ".partial", error);
        }
        History history;
        EXPECT_EQ(keepVersion(history, name, "v1", 20).copy, "");
        for (const std::string& file : filesIn(historyFolderName)) {
            if (!parseKeptCopy(file).name.empty()) {
                EXPECT_EQ(read(fs::path(historyFolderName) / file), "v0") << file;
            }
        }
        EXPECT_EQ(logLinesWith("history:"), std::vector<std::string>{"WARN history: " + part + test.logged});

        // The faults pass: the part is no version to compare with, and it goes.
        sim::allowFileCalls();
        History next;
        const Kept kept = keepVersion(next, name, "v1", 1);
        EXPECT_TRUE(kept.made);
        EXPECT_EQ(filesIn(historyFolderName), std::vector<std::string>{name + ".2026-12-08_21-04-17.meta"});
        EXPECT_EQ(read("BrackenfoldHistory/" + name + ".2026-12-08_21-04-17.meta"), "v1");
    }
    // A folder without rights sends the copies elsewhere, and says so.
    sim::refuseFileCall(FileCall::create, ".partial", 5);
    History refusing;
    EXPECT_EQ(keepVersion(refusing, name, "v2", 20).copy, "");
    EXPECT_EQ(logLinesWith("refuses new files"),
              std::vector<std::string>{"WARN history: BrackenfoldHistory refuses new files and there is no "
                                       "LOCALAPPDATA; no copies are kept"});
}

TEST_F(KeptVersions, AreKeptBesideThePlugInNotInTheGamesFolder) {
    installPlugin("scripts");
    findOwnFolder(pluginModule);
    History history;
    EXPECT_EQ(keepVersion(history, "VegetationModifiers", "v1", 20).copy,
              "scripts\\BrackenfoldHistory\\VegetationModifiers.2026-12-08_21-04-17.meta");
    EXPECT_EQ(read("scripts/BrackenfoldHistory/VegetationModifiers.2026-12-08_21-04-17.meta"), "v1");
    EXPECT_FALSE(fs::exists(historyFolderName));
}

TEST_F(KeptVersions, FolderThatCannotBeMadeSendsCopiesToTheLocalAppDataFolder) {
    std::ofstream(historyFolderName) << "a file in the folder's place";
    fs::create_directory("local");
    sim::setEnvironment("LOCALAPPDATA", "local");
    History history;
    const Kept kept = keepVersion(history, "VegetationModifiers", "v1", 20);
    EXPECT_EQ(kept.copy, "local\\Brackenfold\\History\\VegetationModifiers.2026-12-08_21-04-17.meta");
    EXPECT_EQ(read("local/Brackenfold/History/VegetationModifiers.2026-12-08_21-04-17.meta"), "v1");
    // Neither folder: no copy, and no throw.
    fs::remove_all("local");
    std::ofstream("local") << "";
    History none;
    EXPECT_EQ(keepVersion(none, "VegetationModifiers", "v2", 20).copy, "");
    // Under a user folder whose name no ANSI code page holds.
    const std::string user = (fs::current_path() / "\xD0\x9F\xD0\xB5\xD1\x82\xD1\x8F \xE2\x98\x85").string();
    fs::create_directory(user);
    sim::setEnvironment("LOCALAPPDATA", user);
    History other;
    EXPECT_EQ(keepVersion(other, "VegetationModifiers", "v1", 20).copy,
              user + "\\Brackenfold\\History\\VegetationModifiers.2026-12-08_21-04-17.meta");
    EXPECT_EQ(read(user + "/Brackenfold/History/VegetationModifiers.2026-12-08_21-04-17.meta"), "v1");
}

}  // namespace
