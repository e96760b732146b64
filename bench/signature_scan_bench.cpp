// Time of one signature search over large images of x86-64 machine code, against
// the plain scan and against one pass that only reads every byte: on GCC-built
// code, on the same with near-copies of the signature, and on MSVC-built code, the
// kind the game is; then on the MSVC-built DLL laid out as Windows maps it, where
// the search reads only its code.
#include <benchmark/benchmark.h>
#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/corpora.h"
#include "locate/signature_scan.h"
#include "tests/scan_reference.h"
#include "host/win32.h"
#include "tests/sim/sim.h"

namespace {

// The MSVC-built DLL is repeated to at least this many bytes.
constexpr std::size_t tiledSize = 100'000'000;
constexpr int rounds = 15;
// Read before each timed row: more than the last-level cache of this kind of machine holds.
constexpr std::size_t flushSize = std::size_t{256} << 20;
// findPattern on the laid-out image against one read of the whole image: at most this.
constexpr double laidOutTarget = 0.85;

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
    // The same DLL as the image it is: the simulated kernel tells the search each
    // copy's headers and sections with their protections.
    const LaidOutImage laid = isX64Pe(msvcFile) ? laidOut(msvcFile, tiledSize) : LaidOutImage{};
    if (!laid.bytes.empty()) {
        std::vector<sim::Region> regions;
        for (const pe::Range& range : laid.ranges) {
            regions.push_back({laid.bytes.data() + range.begin, range.end - range.begin, range.protection != PAGE_NOACCESS,
                               MEM_COMMIT, range.protection});
        }
        sim::setRegions(std::move(regions));
        std::printf("laid out: corpus 3's DLL at its sections' virtual addresses, SizeOfImage %zu bytes, tiled %zu "
                    "times to %zu bytes, each copy with its own regions (headers read-only, each section as its "
                    "characteristics say); signature at the last position of the last copy's last executable section\n",
                    laid.imageSize, laid.copies, laid.bytes.size());
        std::printf("laid out: code %zu of %zu bytes, a code share of %.1f%%\n", laid.code, laid.bytes.size(),
                    100.0 * static_cast<double>(laid.code) / static_cast<double>(laid.bytes.size()));
    } else if (isX64Pe(msvcFile)) {
        std::printf("laid out: not run: the DLL's headers give no executable section\n");
    } else {
        std::printf("laid out: not run: no MSVC-built DLL\n");
    }
    const Bytes signature = signatureBytes();
    for (const Corpus& corpus : corpora) {
        if (firstOccurrence(corpus.bytes, signature) != corpus.bytes.size() - signatureLength) {
            std::fprintf(stderr, "%s: the planted signature is not the first copy\n", corpus.name.c_str());
            return 1;
        }
    }
    if (!laid.bytes.empty() && firstOccurrence(laid.bytes, signature) != laid.signatureAt) {
        std::fprintf(stderr, "laid out: the planted signature is not the first copy\n");
        return 1;
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
    const auto laidOutSearch = [&laid](const Bytes& image) {
        gameModuleBase = image.data();
        const std::uint8_t* const match = findPattern(reloadSignature);
        benchmark::DoNotOptimize(match);
        return match == image.data() + laid.signatureAt;
    };
    const std::size_t laidOutFast = rows.size();
    const std::size_t laidOutRead = rows.size() + 1;
    if (!laid.bytes.empty()) {
        rows.push_back({"laid-out/findPattern", &laid.bytes, vectorWidthName(width), laidOutSearch});
        rows.push_back({"laid-out/read-image", &laid.bytes, vectorWidthName(width), readBound});
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
    std::printf("  findPattern on the laid-out image, reading its code only / one read of the whole image: at most "
                "%.2fx (medians)\n",
                laidOutTarget);
    if (laid.bytes.empty()) {
        std::printf("    laid-out   not run\n");
        return 0;
    }
    const double m = ofMedians(laidOutFast, laidOutRead);
    std::printf("    laid-out   %.2f ms / %.2f ms = %.2fx %s (fastest rounds %.2fx; code share %.1f%%)\n",
                median(cpuSeconds[laidOutFast]) * 1e3, median(cpuSeconds[laidOutRead]) * 1e3, m,
                m <= laidOutTarget ? "yes" : "no", ofFastest(laidOutFast, laidOutRead),
                100.0 * static_cast<double>(laid.code) / static_cast<double>(laid.bytes.size()));
    return 0;
}
