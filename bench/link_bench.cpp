// SPDX-License-Identifier: MIT
// How fast the link takes in and writes out lines, on the fake socket.
#include <benchmark/benchmark.h>

#include <string>

#include "fake/fake_platform.h"
#include "velmora/link_protocol.h"
#include "link/socket_link.h"

namespace velmora {
namespace {

// 64 KiB of the messages a playing board gets most, CR LF ended.
std::string messageStream() {
    const std::string lines[] = {
        "MSG cdjr time[01:23]\r\n",
        "MSG cdjr playing[\"Bookends\",\"Simon & Garfunkel\",\"Mrs. Robinson\",\"4:02\","
        "\"/music/covers/bookends.jpg\",\"7\",\"\"]\r\n",
        "MSG cdjr playlist_item[8,\"Caf\xC3\xA9 del Mar\",\"\xC3\x89t\xC3\xA9\",\"Album\"]\r\n",
    };
    std::string stream;
    while (stream.size() < 64 * 1024)
        for (const auto& line : lines) stream += line;
    return stream;
}

void feedInChunks(benchmark::State& state, const std::string& stream) {
    const auto chunk = static_cast<std::size_t>(state.range(0));
    link::LineReader reader;
    std::size_t lines = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk)
            reader.feed(std::string_view(stream).substr(at, chunk),
                        [&](std::string_view line) { lines += !line.empty(); });
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

void BM_LineReaderMessages(benchmark::State& state) {
    feedInChunks(state, messageStream());
}
BENCHMARK(BM_LineReaderMessages)->Arg(64)->Arg(4096)->Arg(65536);

// A peer that sends one endless line: every byte is looked at once and dropped.
void BM_LineReaderFlood(benchmark::State& state) {
    feedInChunks(state, std::string(1 << 20, 'x'));
}
BENCHMARK(BM_LineReaderFlood)->Arg(65536);

struct Connected {
    fake::FakePlatform platform;
    platform::Services services = platform.services();
    link::SocketLink link{services};
    std::string tx = "cdj", rx = "cdjr";

    Connected() {
        link.LinkOpen(tx, "type=devtx", 1, 1, 0);
        link.LinkOpen(rx, "type=devrx", 1, 1, 0);
        platform.sockets[0]->acceptConnection();
        platform.sockets[0]->deliver("VELMORA-LINK 1 bench\n");
    }
};

// Lines in, LinkMessage events out.
void BM_SocketLinkReceive(benchmark::State& state) {
    Connected c;
    std::size_t messages = 0;
    c.link.onLinkMessage([&](std::string&, std::string& text) { messages += !text.empty(); });
    const std::string stream = messageStream();
    for (auto _ : state)
        for (std::size_t at = 0; at < stream.size(); at += 4096)
            c.platform.sockets[0]->deliver(std::string_view(stream).substr(at, 4096));
    state.SetItemsProcessed(static_cast<std::int64_t>(messages));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_SocketLinkReceive);

// LinkSend of a command, validated, encoded and written.
void BM_SocketLinkSend(benchmark::State& state) {
    Connected c;
    auto& written = c.platform.sockets[0]->written;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.link.LinkSend(c.tx, "playlist_getitem[8]"));
        if (written.size() > (1 << 20)) written.clear();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_SocketLinkSend);

}  // namespace
}  // namespace velmora
