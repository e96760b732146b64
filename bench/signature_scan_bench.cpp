// Time of one signature search over large images of x86-64 machine code, against
// the plain scan and against one pass that only reads every byte: on GCC-built
// code, on the same with near-copies of the signature, and on MSVC-built code, the
// kind the game is.
#include <benchmark/benchmark.h>
#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "locate/signature_scan.h"
#include "tests/scan_reference.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

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

constexpr std::size_t signatureLength = 34;
constexpr std::size_t nearCopyLength = 30;
constexpr std::size_t nearCopyStride = 4096;
// The MSVC-built DLL is repeated to at least this many bytes.
constexpr std::size_t tiledSize = 100'000'000;
constexpr int rounds = 15;
// Read before each timed row: more than the last-level cache of this kind of machine holds.
constexpr std::size_t flushSize = std::size_t{256} << 20;

Bytes signatureBytes() {
    const Pattern pattern = parsePattern(reloadSignature);
    return Bytes(pattern.begin(), pattern.end());
}

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

// The largest x86-64 shared library under /usr/lib, or an empty path.
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

// The file's bytes, or none when it cannot be read.
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

// 128 MiB drawn from the byte shares of machine code, when no library is found.
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

// PE header fields giving the image's size, every accidental copy of the
// signature broken, and the signature planted at the last position.
void makeImage(Bytes& image) {
    const std::int32_t peHeader = 0x40;
    const auto size = static_cast<std::uint32_t>(image.size());
    std::memcpy(image.data() + 0x3C, &peHeader, sizeof peHeader);
    std::memcpy(image.data() + peHeader + 0x50, &size, sizeof size);
    const Bytes signature = signatureBytes();
    // 0x26 is no byte of the signature, so the change cannot make a new copy.
    for (std::size_t at = firstOccurrence(image, signature); at < image.size(); at = firstOccurrence(image, signature)) {
        image[at + signatureLength - 1] = 0x26;
    }
    std::copy(signature.begin(), signature.end(), image.end() - static_cast<std::ptrdiff_t>(signatureLength));
}

// Corpus 1 with the signature's first 30 bytes and then a wrong byte every 4 KiB,
// as a prologue common in the game's code would stand.
Bytes prologueDense(const Bytes& image) {
    Bytes dense = image;
    const Bytes signature = signatureBytes();
    for (std::size_t at = nearCopyStride; at + 2 * signatureLength <= dense.size(); at += nearCopyStride) {
        std::copy_n(signature.begin(), nearCopyLength, dense.begin() + static_cast<std::ptrdiff_t>(at));
        dense[at + nearCopyLength] = static_cast<std::uint8_t>(~signature[nearCopyLength]);
    }
    return dense;
}

// An MZ header pointing at a PE header for x86-64 (machine 0x8664).
bool isX64Pe(const Bytes& bytes) {
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') {
        return false;
    }
    std::uint32_t pe = 0;
    std::memcpy(&pe, bytes.data() + 0x3C, sizeof pe);
    return pe <= bytes.size() - 6 && std::memcmp(bytes.data() + pe, "PE\0\0", 4) == 0 && bytes[pe + 4] == 0x64 &&
           bytes[pe + 5] == 0x86;
}

// `bytes` repeated until there are at least `size` of them.
Bytes tiled(const Bytes& bytes, std::size_t size) {
    Bytes tiles;
    while (tiles.size() < size) {
        tiles.insert(tiles.end(), bytes.begin(), bytes.end());
    }
    return tiles;
}

// Positions where both anchors of the signature's plan match.
std::size_t anchorMatches(const Bytes& image, const ScanPlan& plan) {
    std::size_t count = 0;
    for (std::size_t i = 0; i + plan.length <= image.size(); ++i) {
        count += image[i + plan.firstAnchor.offset] == plan.firstAnchor.value &&
                 image[i + plan.secondAnchor.offset] == plan.secondAnchor.value;
    }
    return count;
}

const std::uint8_t* plainSearch(const Bytes& image) {
    return reference::scan(image.data(), image.size(), parsePattern(reloadSignature));
}

const std::uint8_t* fastSearch(const Bytes& image) {
    gameModuleBase = image.data();
    return findPattern(reloadSignature);
}

const std::uint8_t* sse2Search(const Bytes& image) {
    gameModuleBase = image.data();
    return searchGameImage(reloadSignature, VectorWidth::sse2).match;
}

// Reads every byte once, 64 at a time, folding them together.
std::uint64_t readEveryByteSse2(const Bytes& image) {
    const std::uint8_t* const data = image.data();
    __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
    std::size_t i = 0;
    for (; i + 64 <= image.size(); i += 64) {
        a = _mm_xor_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i)));
        b = _mm_xor_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16)));
        c = _mm_xor_si128(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 32)));
        d = _mm_xor_si128(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 48)));
    }
    std::uint8_t tail = 0;
    for (; i < image.size(); ++i) {
        tail ^= data[i];
    }
    const __m128i all = _mm_xor_si128(_mm_xor_si128(a, b), _mm_xor_si128(c, d));
    std::uint64_t folded = static_cast<std::uint64_t>(_mm_cvtsi128_si64(all)) ^
                           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(all, all)));
    return folded ^ tail;
}

// The same 128 at a time: on this kind of machine the fastest bare read.
__attribute__((target("avx2"))) std::uint64_t readEveryByteAvx2(const Bytes& image) {
    const std::uint8_t* const data = image.data();
    __m256i a = _mm256_setzero_si256(), b = a, c = a, d = a;
    std::size_t i = 0;
    for (; i + 128 <= image.size(); i += 128) {
        a = _mm256_xor_si256(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i)));
        b = _mm256_xor_si256(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 32)));
        c = _mm256_xor_si256(c, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 64)));
        d = _mm256_xor_si256(d, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 96)));
    }
    std::uint8_t tail = 0;
    for (; i < image.size(); ++i) {
        tail ^= data[i];
    }
    const __m256i all = _mm256_xor_si256(_mm256_xor_si256(a, b), _mm256_xor_si256(c, d));
    const __m128i half = _mm_xor_si128(_mm256_castsi256_si128(all), _mm256_extracti128_si256(all, 1));
    std::uint64_t folded = static_cast<std::uint64_t>(_mm_cvtsi128_si64(half)) ^
                           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(half, half)));
    return folded ^ tail;
}

struct Corpus {
    std::string name;  // "corpus 1"
    Bytes bytes;
};

struct Row {
    std::string name;
    const Bytes* image;
    const char* width;                      // the vector width it ran with
    std::function<bool(const Bytes&)> run;  // false: a wrong search result
};

// Where a corpus's rows are; `sse2` is none when findPattern itself runs SSE2.
struct CorpusRows {
    std::size_t plain, fast, sse2, read;
};

constexpr std::size_t noRow = SIZE_MAX;

void timeRow(benchmark::State& state, const Row& row) {
    for (auto _ : state) {
        if (!row.run(*row.image)) {
            state.SkipWithError("wrong search result");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(row.image->size()));
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double fastest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// One line of a target: the ratio of the medians and of the fastest rounds, each
// with whether it meets its limit.
void printTarget(const std::string& corpus, double ofMedians, double ofFastest, bool medianMeets, bool fastestMeets) {
    std::printf("    %-10s %7.2fx %-3s  %7.2fx %s\n", corpus.c_str(), ofMedians, medianMeets ? "yes" : "no", ofFastest,
                fastestMeets ? "yes" : "no");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // This benchmark's own flags: --generated-corpus, the corpus that stands in when
    // no library is found, and --msvc-corpus=PATH, the MSVC-built DLL.
    bool generated = false;
    std::string msvcPath;
    std::vector<char*> others = {argv[0]};
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument == "--generated-corpus") {
            generated = true;
        } else if (argument.rfind("--msvc-corpus=", 0) == 0) {
            msvcPath = argument.substr(std::strlen("--msvc-corpus="));
        } else {
            others.push_back(argv[k]);
        }
    }
    if (benchmark::ReportUnrecognizedArguments(static_cast<int>(others.size()), others.data())) {
        return 1;
    }

    std::vector<Corpus> corpora;
    const std::filesystem::path library = generated ? std::filesystem::path() : largestLibrary();
    Bytes gccBuilt = library.empty() ? Bytes{} : readFile(library);
    const std::string source = gccBuilt.size() >= 4096 ? library.string() + " (GCC-built)" : "generated x86-64 byte mix";
    if (gccBuilt.size() < 4096) {
        gccBuilt = generatedCode();
    }
    makeImage(gccBuilt);
    std::printf("corpus 1: %s, %zu bytes, signature at its last position\n", source.c_str(), gccBuilt.size());
    std::printf("corpus 2: corpus 1 with the signature's first %zu bytes and a wrong one every %zu bytes\n",
                nearCopyLength, nearCopyStride);
    Bytes dense = prologueDense(gccBuilt);
    corpora.push_back({"corpus 1", std::move(gccBuilt)});
    corpora.push_back({"corpus 2", std::move(dense)});
    const Bytes msvcFile = msvcPath.empty() ? Bytes{} : readFile(msvcPath);
    if (isX64Pe(msvcFile)) {
        Bytes msvcBuilt = tiled(msvcFile, tiledSize);
        makeImage(msvcBuilt);
        std::printf("corpus 3: %s (MSVC-built), %zu bytes tiled %zu times to %zu bytes, signature at its last position\n",
                    std::filesystem::path(msvcPath).filename().c_str(), msvcFile.size(),
                    msvcBuilt.size() / msvcFile.size(), msvcBuilt.size());
        corpora.push_back({"corpus 3", std::move(msvcBuilt)});
    } else if (msvcPath.empty()) {
        std::printf("corpus 3: not run: no MSVC-built DLL given (--msvc-corpus=PATH; scripts/bench.sh fetches one)\n");
    } else {
        std::printf("corpus 3: not run: %s is no readable x64 DLL (scripts/bench.sh fetches it with npm)\n",
                    msvcPath.c_str());
    }
    const Bytes signature = signatureBytes();
    for (const Corpus& corpus : corpora) {
        if (firstOccurrence(corpus.bytes, signature) != corpus.bytes.size() - signatureLength) {
            std::fprintf(stderr, "%s: the planted signature is not the first copy\n", corpus.name.c_str());
            return 1;
        }
    }
    const VectorWidth width = widthUsed();
    const bool avx2 = width == VectorWidth::avx2;
    std::printf("findPattern scans with %s; the read-bound pass reads with %s, %d bytes a step\n",
                vectorWidthName(width), vectorWidthName(width), avx2 ? 128 : 64);
    const ScanPlan plan = planScan(parsePattern(reloadSignature));
    std::printf("anchors: signature bytes %zu (%02X) and %zu (%02X); positions matching both:",
                plan.firstAnchor.offset, plan.firstAnchor.value, plan.secondAnchor.offset, plan.secondAnchor.value);
    for (const Corpus& corpus : corpora) {
        std::printf(" %s %zu", corpus.name.c_str(), anchorMatches(corpus.bytes, plan));
    }
    std::printf("\n");

    const auto checked = [](const std::uint8_t* (*search)(const Bytes&)) {
        return [search](const Bytes& image) {
            const std::uint8_t* const match = search(image);
            benchmark::DoNotOptimize(match);
            return match == image.data() + image.size() - signatureLength;
        };
    };
    const auto readBound = [avx2](const Bytes& image) {
        std::uint64_t folded = avx2 ? readEveryByteAvx2(image) : readEveryByteSse2(image);
        benchmark::DoNotOptimize(folded);
        return true;
    };
    std::vector<Row> rows;
    std::vector<CorpusRows> where;
    for (const Corpus& corpus : corpora) {
        const std::string prefix = "corpus" + corpus.name.substr(corpus.name.size() - 1) + "/";
        CorpusRows at{rows.size(), rows.size() + 1, noRow, rows.size() + 2};
        rows.push_back({prefix + "plain", &corpus.bytes, "none", checked(plainSearch)});
        rows.push_back({prefix + "findPattern", &corpus.bytes, vectorWidthName(width), checked(fastSearch)});
        rows.push_back({prefix + "read-bound", &corpus.bytes, vectorWidthName(width), readBound});
        if (avx2) {
            at.sse2 = rows.size();
            rows.push_back({prefix + "findPattern", &corpus.bytes, "SSE2", checked(sse2Search)});
        }
        where.push_back(at);
    }
    for (const Row& row : rows) {
        const std::string name = row.name + "/" + row.width;
        benchmark::RegisterBenchmark(name.c_str(), timeRow, row)->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // The ratios come from rounds that run every row once in turn, so that they
    // compare rows measured under the same conditions, and from the processor time
    // of this thread, which the time other programs take on the machine leaves out;
    // what is left only adds time, so the fastest round is the steadiest figure.
    // Before each row, a read of other bytes pushes its corpus out of the caches:
    // every row starts cold, as a search in the game does, and none inherits the
    // part of the corpus that the row before it left there.
    const Bytes flush(flushSize, 0x5A);
    std::vector<std::vector<double>> cpuSeconds(rows.size());
    std::vector<std::vector<double>> realSeconds(rows.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < rows.size(); ++k) {
            readBound(flush);
            const double cpuStart = threadCpuSeconds();
            const auto realStart = std::chrono::steady_clock::now();
            const bool right = rows[k].run(*rows[k].image);
            realSeconds[k].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count());
            cpuSeconds[k].push_back(threadCpuSeconds() - cpuStart);
            if (!right) {
                std::fprintf(stderr, "%s: wrong search result\n", rows[k].name.c_str());
                return 1;
            }
        }
    }
    std::printf("\n%d rounds, each running every row once, cold; cpu time of this thread (GB = 10^9 bytes):\n",
                rounds);
    std::printf("  %-20s %-6s %15s %15s %15s %15s\n", "", "width", "median", "fastest", "median real", "GB/s (fastest)");
    for (std::size_t k = 0; k < rows.size(); ++k) {
        std::printf("  %-20s %-6s %12.2f ms %12.2f ms %12.2f ms %15.2f\n", rows[k].name.c_str(), rows[k].width,
                    median(cpuSeconds[k]) * 1e3, fastest(cpuSeconds[k]) * 1e3, median(realSeconds[k]) * 1e3,
                    static_cast<double>(rows[k].image->size()) / fastest(cpuSeconds[k]) / 1e9);
    }
    // The ratio of two rows' times, from the medians or from the fastest rounds.
    const auto ofMedians = [&](std::size_t a, std::size_t b) { return median(cpuSeconds[a]) / median(cpuSeconds[b]); };
    const auto ofFastest = [&](std::size_t a, std::size_t b) { return fastest(cpuSeconds[a]) / fastest(cpuSeconds[b]); };
    std::printf("\ntargets on this machine; each ratio of the medians, then of the fastest rounds:\n");
    std::printf("  findPattern / read-bound pass: at most 1.2x (medians) and 1.15x (fastest)\n");
    for (std::size_t c = 0; c < corpora.size(); ++c) {
        const double m = ofMedians(where[c].fast, where[c].read), f = ofFastest(where[c].fast, where[c].read);
        printTarget(corpora[c].name, m, f, m <= 1.2, f <= 1.15);
    }
    std::printf("  plain byte-by-byte scan / findPattern: at least 20x\n");
    for (std::size_t c = 0; c < corpora.size(); ++c) {
        const double m = ofMedians(where[c].plain, where[c].fast), f = ofFastest(where[c].plain, where[c].fast);
        printTarget(corpora[c].name, m, f, m >= 20, f >= 20);
    }
    std::printf("  findPattern with AVX2 / with SSE2: at most 1x, the AVX2 path never slower\n");
    for (std::size_t c = 0; c < corpora.size(); ++c) {
        if (where[c].sse2 == noRow) {
            std::printf("    %-10s no AVX2 on this processor\n", corpora[c].name.c_str());
            continue;
        }
        const double m = ofMedians(where[c].fast, where[c].sse2), f = ofFastest(where[c].fast, where[c].sse2);
        printTarget(corpora[c].name, m, f, m <= 1, f <= 1);
    }
    return 0;
}
