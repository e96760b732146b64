#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "text/paths.h"

namespace {

TEST(PathBelow, APathInsideAFolderIsGivenRelativeToItWhateverItsFormAndLetterCase) {
    struct Case {
        const char* path;
        const char* folder;
        std::optional<std::string> below;
    };
    const Case cases[] = {
        {"C:\\Games\\RDR2\\scripts\\Brackenfold.asi", "C:\\Games\\RDR2", "scripts\\Brackenfold.asi"},
        {"C:\\Games\\RDR2\\scripts\\", "C:\\Games\\RDR2\\", "scripts"},
        {"C:\\Games\\RDR2", "C:\\Games\\RDR2", ""},
        {"C:\\Games\\RDR2\\", "C:\\Games\\RDR2", ""},
        {"c:\\games\\rdr2\\Plugins\\x.asi", "C:\\GAMES\\RDR2", "Plugins\\x.asi"},
        {"C:/Games/RDR2/scripts/x.asi", "C:\\Games\\RDR2", "scripts\\x.asi"},
        {"\\\\?\\C:\\Games\\RDR2\\scripts\\x.asi", "C:\\Games\\RDR2", "scripts\\x.asi"},
        {"C:\\Games\\RDR2\\scripts\\x.asi", "\\\\?\\C:\\Games\\RDR2", "scripts\\x.asi"},
        {"\\\\?\\UNC\\server\\share\\RDR2\\x.asi", "\\\\server\\share\\RDR2", "x.asi"},
        {"C:\\x.asi", "C:\\", "x.asi"},
        {"C:\\Игра ★\\scripts\\x.asi", "C:\\Игра ★", "scripts\\x.asi"},
        // Outside: a sibling whose name begins the same, the folder above, another drive.
        {"C:\\Games\\RDR2 old\\x.asi", "C:\\Games\\RDR2", std::nullopt},
        {"C:\\Games\\RDR2scripts\\x.asi", "C:\\Games\\RDR2", std::nullopt},
        {"C:\\Games\\x.asi", "C:\\Games\\RDR2", std::nullopt},
        {"D:\\Games\\RDR2\\x.asi", "C:\\Games\\RDR2", std::nullopt},
        {"C:\\Игра ☆\\x.asi", "C:\\Игра ★", std::nullopt},
        {"x.asi", "", std::nullopt},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(pathBelow(test.path, test.folder), test.below) << test.path << " below " << test.folder;
    }
}

}  // namespace
