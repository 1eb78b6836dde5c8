// SPDX-License-Identifier: MIT
// Fitting the board to the screen and colouring it, as one start does it.
#include <benchmark/benchmark.h>

#include <map>
#include <tuple>

#include "display/board_design.h"
#include "display/board_scaling.h"

namespace velmora {
namespace {

// An in-memory store that costs what a map look-up costs and records nothing.
class MapStore final : public platform::SettingsStore {
  public:
    std::string read(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& fallback) override {
        auto it = values_.find({application, section, key});
        return it == values_.end() ? fallback : it->second;
    }
    void write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& value) override {
        values_[{application, section, key}] = value;
    }

  private:
    std::map<std::tuple<std::string, std::string, std::string>, std::string> values_;
};

constexpr TwipSize k1366x768{1366 * 15, 768 * 15};

void BM_DesignOnly(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(display::makeBoard());
}
BENCHMARK(BM_DesignOnly);

// The design, then scaling and the thirteen colour reads; state.range(0) says whether every
// colour key is stored.
void BM_DesignScaledAndColoured(benchmark::State& state) {
    MapStore store;
    if (state.range(0))
        for (const char* key :
             {"Time", "Section", "Title", "Artist", "CDTitle", "NextSong", "Background"})
            store.write("Velmora2000", "Default_color", key, "12632256");
    for (auto _ : state) {
        Form board = display::makeBoard();
        display::applyScalingAndColours(board, k1366x768, store);
        benchmark::DoNotOptimize(board);
    }
}
BENCHMARK(BM_DesignScaledAndColoured)->Arg(0)->Arg(1);

}  // namespace
}  // namespace velmora
