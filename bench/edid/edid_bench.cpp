// SPDX-License-Identifier: MIT
// How many EDID images per second the decoder turns into the page's texts.
#include <benchmark/benchmark.h>

#include <string>

#include "edid/edid_decoder.h"
#include "edid/edid_files.h"
#include "support/files.h"

namespace {

std::string readText(const char* name) {
    return krx::testing::fileContents(std::filesystem::path(KRX_EDID_DATA_DIR) / name);
}

void decodeAllOf(benchmark::State& state, const char* name) {
    const krx::EdidImage image = krx::parseEdidText(readText(name));
    for (auto _ : state) {
        krx::EdidReport report = krx::EdidDecoder::decodeAll(image);
        benchmark::DoNotOptimize(report);
    }
    state.SetItemsProcessed(state.iterations());
}

void decodeTv4k(benchmark::State& state) {
    decodeAllOf(state, "tv_4k_hdmi20.txt");
}
void decodeMonitorDvi(benchmark::State& state) {
    decodeAllOf(state, "monitor_1080p_dvi.txt");
}

void parseSavedText(benchmark::State& state) {
    const std::string text = readText("tv_4k_hdmi20.txt");
    for (auto _ : state) {
        krx::EdidImage image = krx::parseEdidText(text);
        benchmark::DoNotOptimize(image);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(decodeTv4k);
BENCHMARK(decodeMonitorDvi);
BENCHMARK(parseSavedText);

}  // namespace

BENCHMARK_MAIN();
