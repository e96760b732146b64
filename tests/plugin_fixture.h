// Shared by the plug-in's tests: a fixture that puts every global the plug-in and
// the simulated host keep back to their load-time state, a temporary current
// directory for the settings file, and simulated game images.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "host/utf16.h"
#include "host/win32.h"
#include "keys/key_names.h"
#include "keys/key_records.h"
#include "locate/signature_scan.h"
#include "place/own_files.h"
#include "plugin/dll_main.h"
#include "plugin/single_instance.h"
#include "plugin/version.h"
#include "reload/live_settings.h"
#include "reload/reload_loop.h"
#include "reload/reload_record.h"
#include "report/log.h"
#include "report/messages.h"
#include "settings/settings.h"
#include "tests/sim/sim.h"

inline void resetPluginState() {
    closeReloadRecord();
    closeLog();
    releaseInstance();
    pluginModule = nullptr;
    findOwnFolder(nullptr);
    // As the entry hands it down when the plug-in loads.
    pluginVersion = brackenfoldVersion;
    sim::reset();
    for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
        resetKeyRecord(key);
    }
    modifiersDown = 0;
    activeSettings = Settings{};
    setMessagesShown(true);
    gameModuleBase = nullptr;
    settings.clear();
    clearNotices();
}

// The log's lines that contain `part`, without their time stamps.
inline std::vector<std::string> logLinesWith(const std::string& part) {
    std::ifstream file("Brackenfold.log", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (line.find(part) != std::string::npos) {
            lines.push_back(line.substr(15));
        }
    }
    return lines;
}

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override { resetPluginState(); }
    void TearDown() override { resetPluginState(); }
};

// Runs each test in a fresh, empty current directory, removed afterwards, so the
// settings file the plug-in looks for is only ever the one the test writes.
class InTempDirectory : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        previous_ = std::filesystem::current_path();
        std::string name = (std::filesystem::temp_directory_path() / "brackenfold-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        directory_ = name;
        std::filesystem::current_path(directory_);
    }

    void TearDown() override {
        // What the plug-in holds open in the directory is closed before it goes.
        resetPluginState();
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        PluginTest::TearDown();
    }

    // Writes the settings file byte for byte.
    static void writeSettings(const std::string& content) {
        std::ofstream file(settingsFileName, std::ios::binary);
        file << content;
    }

    // The plug-in as a loader loads it, from `below` the game's folder (the current
    // directory; empty: the game's folder itself), made there; its path as Windows
    // gives it.
    std::string installPlugin(const std::string& below = "") {
        std::filesystem::create_directories(directory_ / below);
        pluginModule = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x1800'0000});
        std::string path = "Z:" + (directory_ / below / "Brackenfold.asi").lexically_normal().string();
        std::replace(path.begin(), path.end(), '/', '\\');
        sim::setModulePath(pluginModule, path);
        return path;
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path directory_;
};

// `text` as a file saved as UTF-16 ("Unicode" in older editors): its byte order
// mark, then each unit in that order.
inline std::string utf16File(const std::string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : widen<char16_t>(text)) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// The game reload routine's first 34 bytes, written out independently of the
// signature text.
inline constexpr std::array<std::uint8_t, 34> signatureBytes{
    0x48, 0x89, 0x5C, 0x24, 0x08, 0x48, 0x89, 0x74, 0x24, 0x18, 0x48, 0x89,
    0x7C, 0x24, 0x20, 0x55, 0x41, 0x54, 0x41, 0x55, 0x41, 0x56, 0x41, 0x57,
    0x48, 0x8B, 0xEC, 0x48, 0x83, 0xEC, 0x60, 0x48, 0x8B, 0xD9,
};

// Where the simulated images put their PE header, and so their SizeOfImage field.
inline constexpr std::size_t peHeaderOffset = 0x40;
inline constexpr std::size_t sizeOfImageOffset = peHeaderOffset + 0x50;
inline constexpr std::size_t imageHeaderEnd = sizeOfImageOffset + 4;

inline void writeImageSize(std::uint8_t* image, std::uint32_t sizeOfImage) {
    const auto peOffset = static_cast<std::int32_t>(peHeaderOffset);
    std::memcpy(image + 0x3C, &peOffset, sizeof peOffset);
    std::memcpy(image + sizeOfImageOffset, &sizeOfImage, sizeof sizeOfImage);
}

inline void plantSignature(std::uint8_t* image, std::size_t offset) {
    std::memcpy(image + offset, signatureBytes.data(), signatureBytes.size());
}

// Fills `bytes` with noise that holds the signature nowhere: random bytes with
// scattered beginnings of it, so that a scan must often compare far before a
// mismatch.
inline void fillWithNoise(std::uint8_t* bytes, std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(random());
    }
    for (std::size_t at = 0; at + signatureBytes.size() <= size; at += 7 + random() % 40) {
        const std::size_t prefix = random() % signatureBytes.size();
        std::memcpy(bytes + at, signatureBytes.data(), prefix);
    }
}

// A buffer of `bufferSize` bytes of noise whose headers claim an image of
// `sizeOfImage` bytes (by default, the whole buffer).
inline std::vector<std::uint8_t> makeImage(std::size_t bufferSize, std::uint32_t sizeOfImage = 0,
                                           unsigned seed = 1) {
    std::vector<std::uint8_t> image(bufferSize);
    fillWithNoise(image.data(), image.size(), seed);
    writeImageSize(image.data(), sizeOfImage != 0 ? sizeOfImage : static_cast<std::uint32_t>(bufferSize));
    return image;
}

// A version resource as a resource compiler lays it out: the fixed file information
// (file version 1.0.1491.50, product version 1.0.1491.16), then a string table of
// `texts` (name, value) for one language, each block and value aligned to 4 bytes.
inline std::vector<std::uint8_t> versionResource(const std::vector<std::pair<std::string, std::string>>& texts = {}) {
    using Bytes = std::vector<std::uint8_t>;
    const auto block = [](const std::string& key, const Bytes& value, std::size_t valueLength, bool text,
                          const std::vector<Bytes>& children) {
        Bytes bytes(6, 0);
        const auto pad = [&] { bytes.resize((bytes.size() + 3) & ~std::size_t{3}, 0); };
        for (const char c : key + '\0') {
            bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c), 0});
        }
        pad();
        bytes.insert(bytes.end(), value.begin(), value.end());
        for (const Bytes& child : children) {
            pad();
            bytes.insert(bytes.end(), child.begin(), child.end());
        }
        const std::size_t header[] = {bytes.size(), valueLength, text ? 1u : 0u};
        for (std::size_t i = 0; i < 3; ++i) {
            bytes[2 * i] = static_cast<std::uint8_t>(header[i]);
            bytes[2 * i + 1] = static_cast<std::uint8_t>(header[i] >> 8);
        }
        return bytes;
    };
    std::vector<Bytes> strings;
    for (const auto& [name, value] : texts) {
        Bytes units;
        for (const char c : value + '\0') {
            units.insert(units.end(), {static_cast<std::uint8_t>(c), 0});
        }
        strings.push_back(block(name, units, value.size() + 1, true, {}));
    }
    Bytes fixed(52, 0);
    const std::uint32_t fixedInformation[] = {0xFEEF04BD, 0x10000, 1u << 16, 1491u << 16 | 50, 1u << 16, 1491u << 16 | 16};
    for (std::size_t i = 0; i < 24; ++i) {
        fixed[i] = static_cast<std::uint8_t>(fixedInformation[i / 4] >> (8 * (i % 4)));
    }
    return block("VS_VERSION_INFO", fixed, fixed.size(), false,
                 {block("StringFileInfo", {}, 0, true, {block("040904b0", {}, 0, true, strings)})});
}

// The calls of one on-screen text through the four natives.
inline std::vector<sim::Call> messageCalls(const char* text) {
    using sim::CallKind;
    return {
        {CallKind::NativeInit, messageNatives[0]},
        {CallKind::NativePush64, static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(text))},
        {CallKind::NativeCall},
        {CallKind::NativeInit, messageNatives[1]},
        {CallKind::NativeCall},
        {CallKind::NativeInit, messageNatives[2]},
        {CallKind::NativeCall},
        {CallKind::NativeInit, messageNatives[3]},
        {CallKind::NativeCall},
    };
}

inline sim::Call waitCall() { return {sim::CallKind::ScriptWait, 0}; }

inline sim::Call gameRoutineCall(const std::uint8_t* entry) {
    return {sim::CallKind::GameRoutine, 0, entry, nullptr, reloadDataName, reloadDataName};
}

// Readable gtest output for recorded calls.
namespace sim {
inline void PrintTo(const Call& call, std::ostream* out) {
    static const char* const names[] = {"ScriptRegister", "ScriptUnregister", "KeyboardHandlerRegister",
                                        "KeyboardHandlerUnregister", "ScriptWait", "NativeInit",
                                        "NativePush64", "NativeCall", "GameRoutine"};
    *out << names[static_cast<int>(call.kind)] << "(0x" << std::hex << call.value << std::dec << ", "
         << call.pointer << ", " << call.function << ", \"" << call.text << "\")";
}
}  // namespace sim
