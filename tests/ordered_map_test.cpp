#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ini/ini.h"

using ini::IniDocument;
using Keys = ini::OrderedMap<>;

namespace {

std::vector<std::string> namesOf(const Keys& map) {
    std::vector<std::string> names;
    for (const auto& [name, value] : map.entries()) {
        names.push_back(name);
    }
    return names;
}

}  // namespace

TEST(OrderedMap, EntriesKeepTheOrderOfFirstInsertion) {
    Keys map;
    map["b"] = "1";
    map["a"];
    map["b"] = "2";
    EXPECT_EQ(map.size(), 2u);
    EXPECT_EQ(namesOf(map), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(map.entries()[0].second, "2");
    EXPECT_EQ(map.get("a"), "");
}

TEST(OrderedMap, NamesAreTrimmedBeforeTheyAreStoredOrLookedUp) {
    Keys map;
    std::string& stored = map["  ReloadKey\t"];
    stored = "121";
    EXPECT_EQ(namesOf(map), std::vector<std::string>{"ReloadKey"});
    EXPECT_EQ(map.get("ReloadKey"), "121");
    EXPECT_EQ(map.get("\v ReloadKey\r\n"), "121");
    EXPECT_EQ(&map["ReloadKey"], &stored);
    EXPECT_EQ(&map[" ReloadKey "], &stored);
    EXPECT_EQ(map.size(), 1u);
}

TEST(OrderedMap, EmptyNameAndWhitespaceOnlyNameAreOneEntry) {
    Keys map;
    map[""] = "empty";
    map[" \t\f"] = "blank";
    EXPECT_EQ(map.size(), 1u);
    EXPECT_EQ(map.get("\n"), "blank");
}

TEST(OrderedMap, NamesAreComparedByteForByte) {
    Keys map;
    map["reloadkey"] = "1";
    map["Reload Key"] = "2";
    map["caf\xC3\xA9"] = "3";
    EXPECT_EQ(map.get("ReloadKey"), "");
    EXPECT_EQ(map.get("RELOADKEY"), "");
    EXPECT_EQ(map.get("Reload  Key"), "");
    EXPECT_EQ(map.get("cafe"), "");
    EXPECT_EQ(map.get("caf\xC3\xA9"), "3");
    map["ReloadKey"] = "4";
    map["ReloadKey "] = "5";
    EXPECT_EQ(map.size(), 4u);
    EXPECT_EQ(map.get("reloadkey"), "1");
    EXPECT_EQ(map.get("ReloadKey"), "5");
}

TEST(OrderedMap, GetNeverInserts) {
    Keys map;
    map["k"] = "v";
    EXPECT_EQ(map.get("absent"), "");
    EXPECT_EQ(map.get(""), "");
    EXPECT_EQ(map.size(), 1u);

    IniDocument document;
    document["S"]["k"] = "v";
    EXPECT_EQ(document.get("T").size(), 0u);
    EXPECT_EQ(document.get("S").get("absent"), "");
    EXPECT_EQ(document.size(), 1u);
    EXPECT_EQ(document.get("S").size(), 1u);
}

TEST(OrderedMap, ValuesAreStoredExactlyAsWritten) {
    Keys map;
    map["k"] = "  spaced value\t";
    map["empty"] = "";
    EXPECT_EQ(map.get("k"), "  spaced value\t");
    EXPECT_EQ(map.get("empty"), "");
    EXPECT_EQ(map.size(), 2u);
}

TEST(OrderedMap, ClearEmptiesTheMapAndRestartsPositions) {
    IniDocument document;
    document["A"]["k"] = "1";
    document["B"];
    document.clear();
    EXPECT_EQ(document.size(), 0u);
    EXPECT_EQ(document.get("A").size(), 0u);
    EXPECT_TRUE(document.entries().empty());
    document["B"]["j"] = "2";
    document["A"];
    ASSERT_EQ(document.size(), 2u);
    EXPECT_EQ(document.entries()[0].first, "B");
    EXPECT_EQ(document.entries()[1].first, "A");
    EXPECT_EQ(document.get("A").size(), 0u);
    EXPECT_EQ(document.get("B").get("j"), "2");
}

TEST(OrderedMap, CopyOfAMapSharesNothingWithItsSource) {
    Keys source;
    source["x"] = "1";
    source["y"] = "2";
    Keys copy = source;
    copy["x"] = "changed";
    copy["z"] = "3";
    EXPECT_EQ(namesOf(source), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(source.get("x"), "1");
    EXPECT_EQ(source.get("z"), "");
    source["w"] = "4";
    EXPECT_EQ(namesOf(copy), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(copy.get("w"), "");
    // The copy's index must point into its own entries, at the same positions.
    EXPECT_EQ(&copy[" y "], &copy.entries()[1].second);

    Keys assigned;
    assigned["old"] = "gone";
    assigned = source;
    EXPECT_EQ(namesOf(assigned), (std::vector<std::string>{"x", "y", "w"}));
    EXPECT_EQ(assigned.get("old"), "");
}

TEST(OrderedMap, SectionsFromGetOrACopiedDocumentAreDeepCopies) {
    IniDocument document;
    document["S"]["k"] = "1";

    Keys section = document.get(" S ");
    section["k"] = "2";
    section["new"] = "3";
    EXPECT_EQ(document.get("S").get("k"), "1");
    EXPECT_EQ(document.get("S").size(), 1u);

    IniDocument copy = document;
    copy["S"]["k"] = "4";
    copy["S"]["other"];
    copy["T"];
    EXPECT_EQ(document.size(), 1u);
    EXPECT_EQ(document.get("S").get("k"), "1");
    EXPECT_EQ(document.get("S").size(), 1u);
    EXPECT_EQ(copy.get("S").get("k"), "4");
}

TEST(OrderedMap, ValueTypeIsGeneric) {
    ini::OrderedMap<int> counts;
    EXPECT_EQ(counts.get("a"), 0);
    counts["a"] += 2;
    counts[" a"] += 3;
    EXPECT_EQ(counts.get("a "), 5);
    EXPECT_EQ(counts.size(), 1u);
}

// A plain model of the map, built from standard containers with its own trim, so
// that it shares no code with the map under test.
namespace {

bool isNameSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string modelTrim(const std::string& name) {
    std::size_t first = 0;
    std::size_t last = name.size();
    while (last > 0 && isNameSpace(name[last - 1])) {
        --last;
    }
    while (first < last && isNameSpace(name[first])) {
        ++first;
    }
    return name.substr(first, last - first);
}

struct Model {
    std::vector<std::pair<std::string, std::string>> entries;
    std::map<std::string, std::size_t> positions;

    std::string& at(const std::string& rawName) {
        const std::string name = modelTrim(rawName);
        const auto found = positions.find(name);
        if (found != positions.end()) {
            return entries[found->second].second;
        }
        positions.emplace(name, entries.size());
        entries.emplace_back(name, "");
        return entries.back().second;
    }

    std::string get(const std::string& rawName) const {
        const auto found = positions.find(modelTrim(rawName));
        return found == positions.end() ? std::string{} : entries[found->second].second;
    }
};

const std::vector<std::string> modelNames = {
    "a", "A", "a ", " \t a\v", "b", "ab", "a b", "a  b", "", " ", "\f\r\n",
    "caf\xC3\xA9", "\xA0" "a", "Key", "key", "KEY", "x\\=y",
};

::testing::AssertionResult agrees(const Keys& map, const Model& model) {
    if (map.size() != model.entries.size()) {
        return ::testing::AssertionFailure() << "size " << map.size() << ", model " << model.entries.size();
    }
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        if (map.entries()[i] != model.entries[i]) {
            return ::testing::AssertionFailure()
                   << "entry " << i << " is '" << map.entries()[i].first << "'='" << map.entries()[i].second
                   << "', model '" << model.entries[i].first << "'='" << model.entries[i].second << "'";
        }
    }
    for (const std::string& name : modelNames) {
        if (map.get(name) != model.get(name)) {
            return ::testing::AssertionFailure() << "get('" << name << "') is '" << map.get(name) << "', model '"
                                                 << model.get(name) << "'";
        }
    }
    if (map.size() != model.entries.size()) {
        return ::testing::AssertionFailure() << "get changed the size";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(OrderedMap, RandomOperationsAgreeWithAPlainModel) {
    for (const std::uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
        std::mt19937 random(seed);
        const auto pick = [&](std::size_t count) {
            return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
        };
        Keys map;
        Model model;
        for (int step = 0; step < 2000; ++step) {
            const std::string& name = modelNames[pick(modelNames.size())];
            std::ostringstream op;
            const std::size_t roll = pick(100);
            if (roll < 40) {
                std::string value = std::string(pick(3), ' ') + "v" + std::to_string(step) + std::string(pick(3), '\t');
                op << "['" << name << "'] = '" << value << "'";
                map[name] = value;
                model.at(name) = value;
            } else if (roll < 60) {
                op << "['" << name << "'] read";
                const std::string seen = map[name];
                ASSERT_EQ(seen, model.at(name)) << "seed " << seed << " step " << step << " " << op.str();
            } else if (roll < 95) {
                op << "get('" << name << "')";
                ASSERT_EQ(map.get(name), model.get(name)) << "seed " << seed << " step " << step << " " << op.str();
            } else if (roll < 97) {
                op << "clear";
                map.clear();
                model = Model{};
            } else {
                op << "replace with a copy";
                const Keys copy = map;
                map = copy;
            }
            ASSERT_TRUE(agrees(map, model)) << "seed " << seed << " step " << step << " after " << op.str();
        }
    }
}
