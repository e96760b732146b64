#include "bench/corpora.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include "locate/signature_scan.h"
#include "tests/scan_reference.h"

namespace {

// How many of every 65536 bytes of x86-64 machine code hold each value, counted
// over the executable sections of several large libraries on the development machine.
constexpr std::array<std::uint16_t, 256> codeByteShare = {
    8784, 1202,  378,  373,  594,  323,  145,  187,  865,  154,   93,   71,  174,   92,   61, 1674,  // 00
     677,  185,   66,   53,  121,   72,   51,   46,  351,   40,   42,   42,   98,   54,   43,  384,  // 10
     402,   74,   38,   47, 2195,  165,   33,   36,  374,  142,   37,   53,   85,   39,  168,   36,  // 20
     238,  423,   39,   49,   78,   92,   38,   36,  193,  433,   51,  190,  106,   78,   42,   48,  // 30
     353, 1095,   59,  182,  830,  356,  109,  138, 5277,  915,   57,   77, 1333,  268,   55,   56,  // 40
     268,   45,   34,  158,  206,  170,  129,  141,  124,   31,   26,  155,  170,  162,  135,  119,  // 50
     123,   30,   24,   64,  176,   45,  520,   29,  106,   36,   32,   38,  116,   43,   44,   62,  // 60
     138,   29,   82,  105,  772,  361,   65,   81,  132,   39,   26,   70,  209,   68,   61,   93,  // 70
     282,  148,   45, 1077,  977,  656,   53,   69,  145, 2824,   52, 2262,   97,  966,   29,   30,  // 80
     195,   23,   26,   33,  108,   53,   23,   26,   73,   20,   19,   27,   62,   28,   23,   25,  // 90
      87,   24,   19,   30,   36,   23,   20,   20,  105,   35,   34,   25,   64,   25,   22,   29,  // A0
     108,   30,   26,   31,   97,   47,  109,   84,  166,  128,  132,   44,  155,   57,  135,   68,  // B0
     602,  474,  148,  298,  166,  151,  234,  470,  180,  143,   63,   37,   40,   45,   59,   50,  // C0
     123,   97,  137,   59,   33,   41,   66,   51,  141,   54,   62,  100,   31,   45,   89,  193,  // D0
     233,  102,   90,   55,   69,   75,  100,  138, 1169,  381,   84,  331,  112,  119,  110,  165,  // E0
     198,   67,   90,   96,   40,   54,  268,  222,  274,  118,  105,  109,   94,  208,  464, 2218,  // F0
};

bool isX86_64Elf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 20> header{};
    if (!file.read(reinterpret_cast<char*>(header.data()), header.size())) {
        return false;
    }
    // Magic, 64-bit class, little-endian, machine 62 (x86-64).
    return header[0] == 0x7F && header[1] == 'E' && header[2] == 'L' && header[3] == 'F' && header[4] == 2 &&
           header[5] == 1 && header[18] == 62 && header[19] == 0;
}

// Breaks every accidental copy of the signature: 0x26 is no byte of it, so the
// change cannot make a new copy.
void breakCopies(Bytes& image, const Bytes& signature) {
    for (std::size_t at = firstOccurrence(image, signature); at < image.size(); at = firstOccurrence(image, signature)) {
        image[at + signatureLength - 1] = 0x26;
    }
}

}  // namespace

Bytes signatureBytes() {
    const Pattern pattern = parsePattern(reloadSignature);
    return Bytes(pattern.begin(), pattern.end());
}

std::filesystem::path largestLibrary() {
    namespace fs = std::filesystem;
    std::vector<std::pair<std::uintmax_t, fs::path>> found;
    std::error_code error;
    fs::recursive_directory_iterator walk("/usr/lib", fs::directory_options::skip_permission_denied, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const fs::directory_entry& entry = *walk;
        std::error_code statError;
        const std::string name = entry.path().filename().string();
        if (entry.is_symlink(statError) || !entry.is_regular_file(statError) || name.find(".so") == std::string::npos) {
            continue;
        }
        const std::uintmax_t size = entry.file_size(statError);
        if (!statError) {
            found.emplace_back(size, entry.path());
        }
    }
    std::sort(found.begin(), found.end(), std::greater<>());
    for (const auto& [size, path] : found) {
        if (isX86_64Elf(path)) {
            return path;
        }
    }
    return {};
}

Bytes readFile(const std::filesystem::path& path) {
    std::error_code error;
    const auto size = static_cast<std::size_t>(std::filesystem::file_size(path, error));
    if (error) {
        return {};
    }
    std::ifstream file(path, std::ios::binary);
    Bytes bytes(size);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    return file ? bytes : Bytes{};
}

Bytes generatedCode() {
    std::array<std::uint8_t, 65536> draw{};
    std::size_t at = 0;
    for (std::size_t value = 0; value < 256; ++value) {
        std::fill_n(draw.begin() + static_cast<std::ptrdiff_t>(at), codeByteShare[value], static_cast<std::uint8_t>(value));
        at += codeByteShare[value];
    }
    std::mt19937_64 random(42);
    Bytes bytes(128u << 20);
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::uint64_t word = random();
        for (std::size_t k = 0; k < 4; ++k) {
            bytes[i + k] = draw[(word >> (16 * k)) & 0xFFFF];
        }
    }
    return bytes;
}

std::size_t firstOccurrence(const Bytes& image, const Bytes& needle) {
    const auto found = std::search(image.begin(), image.end(), std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    return static_cast<std::size_t>(found - image.begin());
}

void makeImage(Bytes& image) {
    const std::int32_t peHeader = 0x40;
    const auto size = static_cast<std::uint32_t>(image.size());
    std::memcpy(image.data() + 0x3C, &peHeader, sizeof peHeader);
    std::memcpy(image.data() + peHeader + 0x50, &size, sizeof size);
    const Bytes signature = signatureBytes();
    breakCopies(image, signature);
    std::copy(signature.begin(), signature.end(), image.end() - static_cast<std::ptrdiff_t>(signatureLength));
}

Bytes prologueDense(const Bytes& image) {
    Bytes dense = image;
    const Bytes signature = signatureBytes();
    for (std::size_t at = nearCopyStride; at + 2 * signatureLength <= dense.size(); at += nearCopyStride) {
        std::copy_n(signature.begin(), nearCopyLength, dense.begin() + static_cast<std::ptrdiff_t>(at));
        dense[at + nearCopyLength] = static_cast<std::uint8_t>(~signature[nearCopyLength]);
    }
    return dense;
}

bool isX64Pe(const Bytes& bytes) {
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') {
        return false;
    }
    std::uint32_t pe = 0;
    std::memcpy(&pe, bytes.data() + 0x3C, sizeof pe);
    return pe <= bytes.size() - 6 && std::memcmp(bytes.data() + pe, "PE\0\0", 4) == 0 && bytes[pe + 4] == 0x64 &&
           bytes[pe + 5] == 0x86;
}

Bytes tiled(const Bytes& bytes, std::size_t size) {
    Bytes tiles;
    while (tiles.size() < size) {
        tiles.insert(tiles.end(), bytes.begin(), bytes.end());
    }
    return tiles;
}
LaidOutImage laidOut(const Bytes& file, std::size_t size) {
    LaidOutImage image;
    const pe::Layout layout = pe::readLayout(file.data(), file.size());
    const std::vector<pe::Range> ranges = pe::mappedRanges(layout);
    const auto lastCode = std::find_if(ranges.rbegin(), ranges.rend(),
                                       [](const pe::Range& range) { return reference::isCode(range.protection); });
    if (layout.imageSize == 0 || lastCode == ranges.rend() || lastCode->end - lastCode->begin < signatureLength) {
        return image;
    }
    Bytes one(layout.imageSize, 0);
    std::copy_n(file.begin(), std::min<std::size_t>({layout.headerSize, file.size(), one.size()}), one.begin());
    for (const pe::Section& section : layout.sections) {
        if (section.fileOffset < file.size() && section.address < one.size()) {
            const std::size_t count = std::min<std::size_t>(
                {section.fileSize, section.size, file.size() - section.fileOffset, one.size() - section.address});
            std::copy_n(file.begin() + section.fileOffset, count, one.begin() + section.address);
        }
    }
    image.imageSize = one.size();
    image.bytes = tiled(one, size);
    image.copies = image.bytes.size() / one.size();
    for (std::size_t copy = 0; copy < image.copies; ++copy) {
        const auto offset = static_cast<std::uint32_t>(copy * one.size());
        for (const pe::Range& range : ranges) {
            image.ranges.push_back({range.begin + offset, range.end + offset, range.protection});
            image.code += reference::isCode(range.protection) ? range.end - range.begin : 0;
        }
    }
    const std::uint32_t claimed = static_cast<std::uint32_t>(image.bytes.size());
    std::memcpy(image.bytes.data() + pe::read32(file.data() + 0x3C) + 0x50, &claimed, sizeof claimed);
    const Bytes signature = signatureBytes();
    breakCopies(image.bytes, signature);
    image.signatureAt = (image.copies - 1) * one.size() + lastCode->end - signatureLength;
    std::copy(signature.begin(), signature.end(), image.bytes.begin() + static_cast<std::ptrdiff_t>(image.signatureAt));
    return image;
}
