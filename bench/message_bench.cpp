// SPDX-License-Identifier: MIT
// How many messages a second the board takes in, on the fake platform (no picture decoding).
#include <benchmark/benchmark.h>

#include <string>

#include "unit/message_harness.h"

namespace velmora {
namespace {

struct Bench : testing::MessageBoard {
    Bench() {
        form.setObserver(nullptr);  // the recorder would keep every write
        platform.pictures.insert("/music/covers/bookends.jpg");
    }

    void run(benchmark::State& state, const std::string& message) {
        const std::string endpoint = "cdjr";
        std::size_t n = 0;
        for (auto _ : state) {
            std::string e = endpoint, m = message;
            handler.handle(e, m);
            if (++n % 4096 == 0) platform.log.clear();  // the fake records every call
        }
        state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    }
};

void BM_TimeCode(benchmark::State& state) {
    Bench().run(state, "time[01:23]");
}
BENCHMARK(BM_TimeCode);

void BM_PlayingWithPicture(benchmark::State& state) {
    Bench().run(state,
                "playing[\"Bookends\",\"Simon & Garfunkel\",\"Mrs. Robinson\",\"4:02\","
                "\"/music/covers/bookends.jpg\",\"7\",\"\"]");
}
BENCHMARK(BM_PlayingWithPicture);

void BM_PlayingWithoutPicture(benchmark::State& state) {
    Bench().run(state,
                "playing[\"Bookends\",\"Simon & Garfunkel\",\"Mrs. Robinson\",\"4:02\",\"\","
                "\"7\",\"\"]");
}
BENCHMARK(BM_PlayingWithoutPicture);

void BM_PlaylistItem(benchmark::State& state) {
    Bench().run(state,
                "playlist_item[\"3\",\"Bookends\",\"Simon & Garfunkel\",\"America\",\"3:35\","
                "\"\",\"x\",\"1\"]");
}
BENCHMARK(BM_PlaylistItem);

}  // namespace
}  // namespace velmora
