#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "ini/ini.h"

using namespace std::string_literals;
using ini::IniDocument;
using ini::SettingsFile;
using ini::SettingsReader;
using Lines = std::vector<std::string>;

namespace fs = std::filesystem;

namespace {

// The document as text, one "[section]" or "key=value" per line, in stored order.
std::string dump(const IniDocument& document) {
    std::string text;
    for (const auto& [section, keys] : document.entries()) {
        text += "[" + section + "]\n";
        for (const auto& [key, value] : keys.entries()) {
            text += key + "=" + value + "\n";
        }
    }
    return text;
}

std::string fixture(const std::string& name) { return std::string(FIXTURES_DIR) + "/" + name; }

IniDocument readDocument(const std::string& path) {
    IniDocument document;
    SettingsFile(path).read(document);
    return document;
}

IniDocument documentWithOldSection() {
    IniDocument document;
    document["Old"]["k"] = "v";
    return document;
}

class SettingsReaderFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
            const fs::path candidate = fs::temp_directory_path() / ("brackenfold-ini-" + std::to_string(random()));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                dir_ = candidate;
            }
        }
        ASSERT_FALSE(dir_.empty()) << "no temporary directory";
    }

    void TearDown() override {
        if (!dir_.empty()) {
            std::error_code error;
            fs::remove_all(dir_, error);
        }
    }

    std::string write(const std::string& name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        EXPECT_TRUE(out.good()) << path;
        return path.string();
    }

    Lines linesOf(const std::string& bytes) {
        SettingsReader reader(write("lines.ini", bytes));
        return reader.readLines();
    }

    fs::path dir_;
};

}  // namespace

TEST_F(SettingsReaderFiles, LinesSplitAtLineFeedsWithCarriageReturnsAndNulBytesDropped) {
    EXPECT_EQ(linesOf("k=1\n"), (Lines{"k=1", ""}));
    EXPECT_EQ(linesOf("k=1"), (Lines{"k=1"}));
    EXPECT_EQ(linesOf("\n"), (Lines{"", ""}));
    EXPECT_EQ(linesOf("a\r\nb\r\n"), (Lines{"a", "b", ""}));
    EXPECT_EQ(linesOf("a\rb\r"), (Lines{"ab"}));
    EXPECT_EQ(linesOf("k=1\0\0"s), (Lines{"k=1"}));
    EXPECT_EQ(linesOf("\0"s), (Lines{""}));
    EXPECT_EQ(linesOf("caf\xC3\xA9\n\xFF"), (Lines{"caf\xC3\xA9", "\xFF"}));
    const std::string longLine(5000, 'x');
    EXPECT_EQ(linesOf(longLine + "\nk"), (Lines{longLine, "k"}));
}

TEST_F(SettingsReaderFiles, LfCrLfAndNoFinalLineFeedGiveTheSameDocument) {
    const std::string expected = "[Display]\nMode=full\n[BrackenfoldConfig]\nReloadKey=120\nEmpty=\n";
    EXPECT_EQ(dump(readDocument(fixture("lf.ini"))), expected);
    EXPECT_EQ(dump(readDocument(fixture("crlf.ini"))), expected);
    EXPECT_EQ(dump(readDocument(fixture("no_final_newline.ini"))), expected);
}

TEST_F(SettingsReaderFiles, CarriageReturnAloneDoesNotEndALine) {
    SettingsReader reader(fixture("cr_only.ini"));
    EXPECT_EQ(reader.readLines(), Lines{"[S]k=1"});
    // The header wins and the key on the same line is lost.
    EXPECT_EQ(dump(readDocument(fixture("cr_only.ini"))), "[S]\n");
}

TEST_F(SettingsReaderFiles, NulBytesAnywhereAreDropped) {
    EXPECT_EQ(dump(readDocument(fixture("nul_bytes.ini"))), "[S]\nk=1\nname=value\n");
}

TEST_F(SettingsReaderFiles, EmptyFileReadsAsNoLinesAndAnEmptyDocument) {
    const std::string path = write("empty.ini", "");
    EXPECT_EQ(SettingsReader(path).readLines(), Lines{});
    IniDocument document;
    EXPECT_TRUE(SettingsReader(path).read(document));
    EXPECT_EQ(document.size(), 0u);
    document = documentWithOldSection();
    SettingsFile(path).read(document);
    EXPECT_EQ(document.size(), 0u);
}

TEST_F(SettingsReaderFiles, MissingFileLeavesTheReaderFalseAndTheFileDocumentEmpty) {
    const std::string path = (dir_ / "absent.ini").string();
    IniDocument document = documentWithOldSection();
    EXPECT_FALSE(SettingsReader(path).read(document));
    EXPECT_EQ(dump(document), "[Old]\nk=v\n");
    SettingsFile(path).read(document);
    EXPECT_EQ(document.size(), 0u);
}

TEST_F(SettingsReaderFiles, EmptyFileNameEmptiesTheDocument) {
    IniDocument document = documentWithOldSection();
    EXPECT_FALSE(SettingsReader("").read(document));
    SettingsFile("").read(document);
    EXPECT_EQ(document.size(), 0u);
}

TEST_F(SettingsReaderFiles, KeysBeforeTheFirstHeaderAreNotStored) {
    EXPECT_EQ(dump(readDocument(fixture("keys_before_header.ini"))), "[BrackenfoldConfig]\nReloadKey=120\n");
}

TEST_F(SettingsReaderFiles, RepeatedHeadersReopenTheSectionAndTheLastValueWinsInPlace) {
    EXPECT_EQ(dump(readDocument(fixture("repeated_sections.ini"))), "[S]\nx=4\nz=3\n[T]\ny=2\n");
}

TEST_F(SettingsReaderFiles, SectionsAndKeysThatDifferOnlyInCaseAreDistinct) {
    const std::string path = write("case.ini", "[s]\nKey=1\nkey=2\n[S]\nKey=3\n[Empty]\n");
    EXPECT_EQ(dump(readDocument(path)), "[s]\nKey=1\nkey=2\n[S]\nKey=3\n[Empty]\n");
}

TEST_F(SettingsReaderFiles, ReaderAddsToTheDocumentAndReadsOnlyOnce) {
    const std::string path = write("twice.ini", "[Old]\nj=2\n[New]\nk=1\n");
    IniDocument document = documentWithOldSection();
    SettingsReader reader(path);
    EXPECT_TRUE(reader.read(document));
    const std::string afterFirst = "[Old]\nk=v\nj=2\n[New]\nk=1\n";
    EXPECT_EQ(dump(document), afterFirst);
    EXPECT_FALSE(reader.read(document));
    EXPECT_EQ(dump(document), afterFirst);
}

TEST_F(SettingsReaderFiles, SettingsFileRebuildsTheDocumentOnEveryRead) {
    const std::string path = write("settings.ini", "[A]\nk=1\n");
    const SettingsFile file(path);
    IniDocument document = documentWithOldSection();
    file.read(document);
    EXPECT_EQ(dump(document), "[A]\nk=1\n");
    write("settings.ini", "[B]\nk=2\n");
    file.read(document);
    EXPECT_EQ(dump(document), "[B]\nk=2\n");
}

TEST_F(SettingsReaderFiles, ByteOrderMarkAtTheStartOfTheFileIsSkipped) {
    EXPECT_EQ(SettingsReader(fixture("bom.ini")).readLines(), (Lines{"[BrackenfoldConfig]", "ReloadKey=120", ""}));
    EXPECT_EQ(dump(readDocument(fixture("bom.ini"))), "[BrackenfoldConfig]\nReloadKey=120\n");

    const std::string onlyMark = write("only_mark.ini", "\xEF\xBB\xBF");
    IniDocument document;
    EXPECT_TRUE(SettingsReader(onlyMark).read(document));
    EXPECT_EQ(document.size(), 0u);
}

TEST_F(SettingsReaderFiles, ByteOrderMarkElsewhereIsKeptAsBytes) {
    const std::string bom = "\xEF\xBB\xBF";
    // Only the first of two marks is skipped, so the header behind the second is not one.
    EXPECT_EQ(dump(readDocument(write("two_marks.ini", bom + bom + "[S]\nk=1\n"))), "");
    EXPECT_EQ(dump(readDocument(write("later_mark.ini", "[S]\n" + bom + "[T]\n" + bom + "k=1\nv=" + bom + "\n"))),
              "[S]\n" + bom + "k=1\nv=" + bom + "\n");
    // A mark that is not whole is not a mark.
    EXPECT_EQ(SettingsReader(write("half_mark.ini", "\xEF\xBB[S]")).readLines(), Lines{"\xEF\xBB[S]"});
}

TEST_F(SettingsReaderFiles, DirectoryInPlaceOfTheFileYieldsNothing) {
    fs::create_directory(dir_ / "settings.ini");
    const std::string path = (dir_ / "settings.ini").string();
    EXPECT_EQ(SettingsReader(path).readLines(), Lines{});
    IniDocument document = documentWithOldSection();
    SettingsReader(path).read(document);
    EXPECT_EQ(dump(document), "[Old]\nk=v\n");
    SettingsFile(path).read(document);
    EXPECT_EQ(document.size(), 0u);
}

TEST_F(SettingsReaderFiles, FileOverSixtyFourMebibytesIsNotBuffered) {
    const std::string path = write("huge.ini", "[S]\nk=1\n");
    // Sparse, so the disk holds only the first bytes.
    fs::resize_file(path, (std::uintmax_t{64} << 20) + 1);
    EXPECT_EQ(SettingsReader(path).readLines(), Lines{});
    EXPECT_EQ(readDocument(path).size(), 0u);
}

TEST_F(SettingsReaderFiles, FileWhoseSizeCannotBeMeasuredYieldsNoLines) {
    // Files under /proc have content but cannot be sought to their end.
    const std::string path = "/proc/self/status";
    if (!fs::exists(path)) {
        GTEST_SKIP() << path << " is not available here";
    }
    EXPECT_EQ(SettingsReader(path).readLines(), Lines{});
}
