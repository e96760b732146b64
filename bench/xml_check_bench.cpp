// Speed of the data file check on a large document in the shape of the game's
// vegetation modifier data: items of nested elements with numeric attributes,
// comments and a few references, as tests/fixtures/xml/well_formed_vegetation.meta.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "xml/xml_check.h"

namespace {

constexpr std::size_t documentSize = 32u << 20;
constexpr int rounds = 15;

std::string number(std::mt19937_64& random, double low, double high) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", std::uniform_real_distribution<double>(low, high)(random));
    return text;
}

// At least `size` bytes of modifier items under one root element.
std::string vegetationDocument(std::size_t size) {
    static const char* const kinds[] = {"CVegetationModifierExclusion", "CVegetationModifierScale",
                                        "CVegetationModifierTint", "CVegetationModifierDensity"};
    static const char* const places[] = {"farm_fence",  "camp_fire",    "rail_yard",  "river_bank", "mine_entrance",
                                         "church_yard", "saloon_porch", "stable_row", "dock_planks"};
    std::mt19937_64 random(7);
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!-- Vegetation modifiers: how ground cover is thinned, scaled and tinted near props. -->\n"
        "<CVegetationModifiers>\n  <Version value=\"3\" />\n  <Items>\n";
    for (std::size_t n = 1; text.size() < size; ++n) {
        const std::string place = places[n % 9];
        if (n % 9 == 1) {
            text += "    <!-- " + place + " -->\n";
        }
        text += "    <Item type=\"" + std::string(kinds[n % 4]) + "\">\n";
        text += "      <Name>" + place + "_" + std::to_string(n) + "</Name>\n";
        text += "      <Enabled value=\"" + std::string(n % 7 != 0 ? "true" : "false") + "\" />\n";
        text += "      <Position x=\"" + number(random, -3000, 3000) + "\" y=\"" + number(random, -3000, 3000) +
                "\" z=\"" + number(random, 0, 400) + "\" />\n";
        text += "      <Radius value=\"" + number(random, 1, 12) + "\" />\n";
        text += "      <Falloff value=\"" + number(random, 0, 1) + "\" />\n";
        text += "      <Scale min=\"" + number(random, 0.2, 0.6) + "\" max=\"" + number(random, 0.7, 1.2) + "\" />\n";
        text += "      <Flags>EXCLUDE_GRASS EXCLUDE_SHRUBS</Flags>\n";
        if (n % 11 == 0) {
            text +=
                "      <Note>Keep clear of the &quot;Pioneer &amp; Sons&quot; sign &#x2014; tuned by hand.</Note>\n";
        }
        text += "    </Item>\n";
    }
    return text + "  </Items>\n</CVegetationModifiers>\n";
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void checkDocument(benchmark::State& state, const std::string* document) {
    for (auto _ : state) {
        const XmlCheck result = checkXml(document->data(), document->size());
        benchmark::DoNotOptimize(result);
        if (!result.wellFormed) {
            state.SkipWithError("the document was refused");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(document->size()));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const std::string document = vegetationDocument(documentSize);
    const XmlCheck first = checkXml(document.data(), document.size());
    if (!first.wellFormed) {
        std::fprintf(stderr, "the generated document is refused at %zu:%zu: %s\n", first.line, first.column,
                     first.what);
        return 1;
    }
    std::printf("document: %zu bytes, %td lines, in the shape of the vegetation modifier data\n", document.size(),
                std::count(document.begin(), document.end(), '\n'));

    // This thread's processor time, which other programs on the machine leave out.
    std::vector<double> seconds;
    for (int round = 0; round < rounds; ++round) {
        const double start = threadCpuSeconds();
        const XmlCheck result = checkXml(document.data(), document.size());
        benchmark::DoNotOptimize(result);
        seconds.push_back(threadCpuSeconds() - start);
    }
    std::sort(seconds.begin(), seconds.end());
    const double megabytes = static_cast<double>(document.size()) / 1e6;
    std::printf("xml check: %.0f MB/s (median of %d rounds; fastest %.0f MB/s; MB = 10^6 bytes)\n",
                megabytes / seconds[rounds / 2], rounds, megabytes / seconds.front());

    benchmark::RegisterBenchmark("checkXml/vegetation_32MiB", checkDocument, &document)->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
