#include "locate/byte_scan.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <emmintrin.h>
#include <immintrin.h>

// MinGW g++ cannot align the stack for 32-byte vectors, so its unoptimised code,
// which keeps every vector on the stack, would fault in the AVX2 scan.
#if defined(_WIN32) && defined(__GNUC__) && !defined(__clang__) && !defined(__OPTIMIZE__)
#define BRACKENFOLD_AVX2 0
#else
#define BRACKENFOLD_AVX2 1
#endif

namespace {

// Rank of each byte value in x86-64 machine code, 0 for the rarest and 255 for the
// commonest, by the sum of its shares of the executable sections of several large
// GCC-built libraries and of a large MSVC-built DLL: the game is built with MSVC,
// whose code has other frequent bytes, and neither kind outweighs the other.
constexpr std::uint8_t byteRank[256] = {
    255, 244, 223, 226, 227, 219, 170, 195, 239, 173, 138, 117, 181, 159,  87, 248,  // 00
    240, 198,  92,  71, 137, 178,  66,  67, 216,  81,  57,  75, 143,  77,  61, 213,  // 10
    233,  79,  33,  60, 250, 140,  20, 133, 222, 155,  55, 156, 103,  62, 150,  36,  // 20
    217, 206,  46, 183, 108, 101,  50,  65, 209, 208,  53, 194, 110,  86,  37,  68,  // 30
    230, 242, 141, 199, 238, 229, 145, 167, 254, 241,  83, 126, 246, 221, 102, 100,  // 40
    215,  64,  25, 163, 196, 193, 160, 191, 174,  38,   7, 164, 202, 172, 162, 168,  // 50
    186,  17,  13,  78, 157,  69, 228,  23, 154,  41,  16,  49, 139,  44,  52,  89,  // 60
    182,  34, 189, 136, 237, 220, 128, 116, 175,  73,  29, 118, 187, 111,  85, 171,  // 70
    212, 201,  54, 243, 235, 236,  74, 112, 190, 252, 184, 253, 132, 247,  31,  56,  // 80
    214,   4,  12,  21, 130, 124,   9,  32, 121,  19,   6,  14,  88,  30,   2,  11,  // 90
    148,   3,   0,  15,  47,  43,   8,  18, 135,  42,  35,  10,  72,   5,   1,  26,  // A0
    161,  27,  24,  22, 114,  58, 152, 119, 180, 144, 151,  48, 134,  82, 127,  95,  // B0
    234, 232, 203, 218, 205, 147, 207, 231, 200, 176,  96, 165, 249,  63, 113, 125,  // C0
    179, 115, 149,  97,  40,  45,  91, 106, 169,  93,  80, 146,  28,  39,  90, 158,  // D0
    197, 105,  99,  76,  84,  70,  98, 131, 245, 224, 107, 204, 185, 120, 109, 153,  // E0
    210,  94, 123, 129,  51,  59, 192, 177, 225, 142, 188, 122, 104, 166, 211, 251,  // F0
};

constexpr std::size_t none = SIZE_MAX;

bool matchesAt(const std::uint8_t* at, const ScanPlan& plan) {
    for (const ExactByte& entry : plan.exact) {
        if (at[entry.offset] != entry.value) {
            return false;
        }
    }
    return true;
}

// The first position whose bit is set in `candidates` (bit k is position base + k)
// where the whole pattern matches.
std::size_t firstMatch(const std::uint8_t* data, std::size_t base, std::uint64_t candidates, const ScanPlan& plan) {
    while (candidates != 0) {
        const std::size_t position = base + static_cast<std::size_t>(std::countr_zero(candidates));
        if (matchesAt(data + position, plan)) {
            return position;
        }
        candidates &= candidates - 1;
    }
    return none;
}

std::size_t scanOneByOne(const std::uint8_t* data, std::size_t from, std::size_t count, const ScanPlan& plan) {
    const std::uint8_t* const first = data + plan.firstAnchor.offset;
    const std::uint8_t* const second = data + plan.secondAnchor.offset;
    const std::uint8_t firstValue = plan.firstAnchor.value;
    const std::uint8_t secondValue = plan.secondAnchor.value;
    for (std::size_t i = from; i < count; ++i) {
        if (first[i] == firstValue && second[i] == secondValue && matchesAt(data + i, plan)) {
            return i;
        }
    }
    return none;
}

// Examines whole blocks of 64 positions below `count`; `done` receives the first
// position it left unexamined.
std::size_t scanSse2(const std::uint8_t* data, std::size_t count, const ScanPlan& plan, std::size_t& done) {
    const std::uint8_t* const first = data + plan.firstAnchor.offset;
    const std::uint8_t* const second = data + plan.secondAnchor.offset;
    const __m128i firstValue = _mm_set1_epi8(static_cast<char>(plan.firstAnchor.value));
    const __m128i secondValue = _mm_set1_epi8(static_cast<char>(plan.secondAnchor.value));
    const auto both = [&](std::size_t i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + i));
        return _mm_and_si128(_mm_cmpeq_epi8(a, firstValue), _mm_cmpeq_epi8(b, secondValue));
    };
    constexpr std::size_t block = 64;
    std::size_t i = 0;
    for (; i + block <= count; i += block) {
        const __m128i m0 = both(i);
        const __m128i m1 = both(i + 16);
        const __m128i m2 = both(i + 32);
        const __m128i m3 = both(i + 48);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3))) != 0) {
            const std::uint64_t candidates =
                static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(m0))) |
                static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(m1))) << 16 |
                static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(m2))) << 32 |
                static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(m3))) << 48;
            const std::size_t found = firstMatch(data, i, candidates, plan);
            if (found != none) {
                return found;
            }
        }
    }
    done = i;
    return none;
}

#if BRACKENFOLD_AVX2
// Positions i to i + 31 where both anchors match.
__attribute__((target("avx2"))) inline __m256i bothAnchors(const std::uint8_t* first, const std::uint8_t* second,
                                                           std::size_t i, __m256i firstValue, __m256i secondValue) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second + i));
    return _mm256_and_si256(_mm256_cmpeq_epi8(a, firstValue), _mm256_cmpeq_epi8(b, secondValue));
}

__attribute__((target("avx2"))) inline std::uint64_t bits(__m256i low, __m256i high) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(low))) |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(high))) << 32;
}

// Examines whole blocks of 128 positions below `count`, with one branch per block:
// at 64 per block the loop's own work showed in the search's time.
__attribute__((target("avx2"))) std::size_t scanAvx2(const std::uint8_t* data, std::size_t count,
                                                     const ScanPlan& plan, std::size_t& done) {
    const std::uint8_t* const first = data + plan.firstAnchor.offset;
    const std::uint8_t* const second = data + plan.secondAnchor.offset;
    const __m256i firstValue = _mm256_set1_epi8(static_cast<char>(plan.firstAnchor.value));
    const __m256i secondValue = _mm256_set1_epi8(static_cast<char>(plan.secondAnchor.value));
    constexpr std::size_t block = 128;
    std::size_t i = 0;
    for (; i + block <= count; i += block) {
        const __m256i m0 = bothAnchors(first, second, i, firstValue, secondValue);
        const __m256i m1 = bothAnchors(first, second, i + 32, firstValue, secondValue);
        const __m256i m2 = bothAnchors(first, second, i + 64, firstValue, secondValue);
        const __m256i m3 = bothAnchors(first, second, i + 96, firstValue, secondValue);
        const __m256i any = _mm256_or_si256(_mm256_or_si256(m0, m1), _mm256_or_si256(m2, m3));
        if (!_mm256_testz_si256(any, any)) {
            const std::uint64_t low = bits(m0, m1);
            const std::uint64_t high = bits(m2, m3);
            std::size_t found = firstMatch(data, i, low, plan);
            if (found == none) {
                found = firstMatch(data, i + 64, high, plan);
            }
            if (found != none) {
                return found;
            }
        }
    }
    done = i;
    return none;
}
#endif

}  // namespace

bool avx2Available() {
#if BRACKENFOLD_AVX2
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

VectorWidth widthUsed(VectorWidth width) {
    return width != VectorWidth::sse2 && avx2Available() ? VectorWidth::avx2 : VectorWidth::sse2;
}

const char* vectorWidthName(VectorWidth width) {
    switch (width) {
    case VectorWidth::sse2:
        return "SSE2";
    case VectorWidth::avx2:
        return "AVX2";
    default:
        return "automatic";
    }
}

ScanPlan planScan(const Pattern& pattern) {
    ScanPlan plan;
    plan.length = pattern.size();
    plan.matchesNothing = pattern.empty();
    plan.exact.reserve(pattern.size());
    for (std::size_t j = 0; j < pattern.size(); ++j) {
        if (pattern[j] >= 0 && pattern[j] <= 255) {
            plan.exact.push_back({j, static_cast<std::uint8_t>(pattern[j])});
        } else if (pattern[j] != -1) {
            plan.matchesNothing = true;
        }
    }
    if (plan.exact.empty()) {
        return plan;
    }
    // Rarest first, so that a mismatch shows at the first or second comparison.
    std::sort(plan.exact.begin(), plan.exact.end(), [](const ExactByte& a, const ExactByte& b) {
        return byteRank[a.value] != byteRank[b.value] ? byteRank[a.value] < byteRank[b.value] : a.offset < b.offset;
    });
    const std::size_t anchor = plan.exact.front().offset;
    const auto distance = [anchor](const ExactByte& entry) {
        return entry.offset > anchor ? entry.offset - anchor : anchor - entry.offset;
    };
    std::size_t span = 0;
    for (const ExactByte& entry : plan.exact) {
        span = std::max(span, distance(entry));
    }
    // Bytes close together in code come from one instruction and occur together, so
    // the second anchor is the rarest byte in the farther half of the pattern.
    std::size_t second = 0;
    for (std::size_t k = 1; k < plan.exact.size(); ++k) {
        if (2 * distance(plan.exact[k]) >= span && (second == 0 || byteRank[plan.exact[k].value] <
                                                                           byteRank[plan.exact[second].value])) {
            second = k;
        }
    }
    if (second > 1) {
        std::rotate(plan.exact.begin() + 1, plan.exact.begin() + static_cast<std::ptrdiff_t>(second),
                    plan.exact.begin() + static_cast<std::ptrdiff_t>(second) + 1);
    }
    plan.firstAnchor = plan.exact.front();
    plan.secondAnchor = plan.exact[1 % plan.exact.size()];
    return plan;
}

const std::uint8_t* scanPlanned(const std::uint8_t* data, std::size_t size, const ScanPlan& plan, VectorWidth width) {
    if (plan.matchesNothing || plan.length > size) {
        return nullptr;
    }
    if (plan.exact.empty()) {
        return data;
    }
    // Positions 0 to size - length; the vector scans take whole blocks of them, whose
    // loads end inside the buffer since both anchors lie inside the pattern.
    const std::size_t count = size - plan.length + 1;
    std::size_t done = 0;
    std::size_t found = none;
#if BRACKENFOLD_AVX2
    if (widthUsed(width) == VectorWidth::avx2) {
        found = scanAvx2(data, count, plan, done);
    } else {
        found = scanSse2(data, count, plan, done);
    }
#else
    (void)width;
    found = scanSse2(data, count, plan, done);
#endif
    if (found == none) {
        found = scanOneByOne(data, done, count, plan);
    }
    return found == none ? nullptr : data + found;
}
