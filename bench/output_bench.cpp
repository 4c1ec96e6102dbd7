// The light outputs' cost a frame: filling the channels on the drawing
// thread, handing them over, and the sender thread's work of sending every
// universe to 127.0.0.1, for a 64 × 32 grid (2,048 RGB pixels, 13
// universes) and for 100,000 pixels of a 1920 × 1080 frame (589 universes).
// And what reading a hostile patch of the largest size costs, in time and in
// the most heap it holds at once.
#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "output/channel_map.h"
#include "output/live_output.h"

namespace {

// The heap this program holds now, and the most since the last reset.
std::atomic<std::int64_t> gHeap = 0;
std::atomic<std::int64_t> gHeapPeak = 0;

void noteHeap(std::int64_t change) {
  const std::int64_t now = gHeap += change;
  std::int64_t peak = gHeapPeak;
  while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now)) {
  }
}

void* counted(std::size_t size) {
  void* p = std::malloc(std::max<std::size_t>(size, 1));
  if (p == nullptr) throw std::bad_alloc();
  noteHeap(static_cast<std::int64_t>(malloc_usable_size(p)));
  return p;
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  noteHeap(-static_cast<std::int64_t>(malloc_usable_size(p)));
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace lumora::output {
namespace {

// A receiver that is never read: the kernel drops what does not fit, as a
// busy controller would, and the sender never waits for it.
class TSink {
 public:
  TSink() {
    fHandle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fHandle, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fHandle, reinterpret_cast<sockaddr*>(&address), &length);
    fPort = ntohs(address.sin_port);
  }
  ~TSink() { ::close(fHandle); }
  std::uint16_t Port() const { return fPort; }

 private:
  int fHandle = -1;
  std::uint16_t fPort = 0;
};

class TGrid final : public TGridCells {
 public:
  std::int32_t Rows(std::int32_t) const override { return 32; }
  std::int32_t Columns(std::int32_t) const override { return 64; }
  TWinColor CellColor(std::int32_t, std::int32_t row, std::int32_t column) const override {
    return (row * 64 + column) * 2654435761u & 0x00FFFFFF;
  }
};

struct TCase {
  TMovieShape Movie;
  std::string Fixture;
  TBitmap32 Bitmap;
  TGrid Grid;

  TFrameView View() const { return {&Grid, &Bitmap, {0, 0}, nullptr}; }
};

std::unique_ptr<TCase> gridCase() {
  auto c = std::make_unique<TCase>();
  c->Movie.GridLayers = {{32, 64}};
  c->Movie.Width = 1920;
  c->Movie.Height = 1080;
  c->Fixture = R"({"source": "grid", "layer": 0, "order": "rows", "serpentine": true, "start": 1})";
  return c;
}

std::unique_ptr<TCase> pixelCase() {
  auto c = std::make_unique<TCase>();
  c->Movie.Width = 1920;
  c->Movie.Height = 1080;
  c->Bitmap.Resize(1920, 1080);
  for (std::size_t i = 0; i < c->Bitmap.Bits().size(); ++i) c->Bitmap.Bits()[i] = 0xFF000000 | (i * 2654435761u);
  c->Fixture = R"({"source": "pixels", "rectangle": {"from": [0, 0], "to": [1919, 1079], "columns": 400,
                  "rows": 250, "serpentine": true}, "gamma": 2.2, "start": 1})";
  return c;
}

TPatchDefinition definitionFor(const TCase& c, const std::string& protocol, std::uint16_t port) {
  const std::uint32_t channels = c.Movie.GridLayers.empty() ? 300000 : 6144;
  const std::string universe = protocol == "ddp" ? "" : R"(, "universe": 1)";
  return ParsePatchDefinition(R"({"fixtures": [)" + c.Fixture + R"(], "outputs": [{"protocol": ")" + protocol +
                                  R"(", "channels": [1, )" + std::to_string(channels) + "]" + universe +
                                  R"(, "host": "127.0.0.1", "port": )" + std::to_string(port) + "}]}",
                              "bench.patch");
}

TChannelPatch patchFor(const TCase& c, const std::string& protocol, std::uint16_t port) {
  return BindChannelPatch(definitionFor(c, protocol, port), c.Movie);
}

std::unique_ptr<TLiveOutput> liveFor(const TCase& c, std::uint16_t port) {
  auto live = std::make_unique<TLiveOutput>(definitionFor(c, "sacn", port), TLiveSettings{});
  live->BindShow(c.Movie);
  return live;
}

std::unique_ptr<TCase> makeCase(std::int64_t which) { return which == 0 ? gridCase() : pixelCase(); }

// The drawing thread's part: the channels filled from the frame.
void BM_Fill(benchmark::State& state) {
  const auto c = makeCase(state.range(0));
  TChannelPatch patch = patchFor(*c, "sacn", 9);
  TChannelMap map(std::move(patch.Fixtures), patch.ChannelCount);
  std::vector<std::uint8_t> channels;
  for (auto _ : state) {
    map.Fill(c->View(), channels);
    benchmark::DoNotOptimize(channels.data());
  }
}

// The sender thread's part: every universe of a frame sent to 127.0.0.1.
void BM_Send(benchmark::State& state) {
  const auto c = makeCase(state.range(0));
  const std::string protocol = ProtocolKey(kProtocols[state.range(1)]);
  state.SetLabel(protocol);
  TSink sink;
  TChannelPatch patch = patchFor(*c, protocol, sink.Port());
  const std::unique_ptr<TLightOutput> output = MakeLightOutput(patch.Outputs[0], NewComponentId());
  TChannelMap map(std::move(patch.Fixtures), patch.ChannelCount);
  std::vector<std::uint8_t> channels;
  map.Fill(c->View(), channels);
  TSendScratch scratch;
  for (auto _ : state) {
    const std::string error = output->Send(channels, scratch);
    if (!error.empty()) state.SkipWithError(error.c_str());
  }
}

// What a drawn frame costs the drawing thread: fill and hand over, the
// sender working meanwhile on the other core.
void BM_ShowFrame(benchmark::State& state) {
  const auto c = makeCase(state.range(0));
  TSink sink;
  const auto live = liveFor(*c, sink.Port());
  for (auto _ : state) live->ShowFrame(c->View());
  live->Flush();
}

// Patching and sending a frame whole: fill, hand over, and wait until the
// sender thread has sent every universe.
void BM_ShowAndSend(benchmark::State& state) {
  const auto c = makeCase(state.range(0));
  TSink sink;
  const auto live = liveFor(*c, sink.Port());
  for (auto _ : state) {
    live->ShowFrame(c->View());
    live->Flush();
  }
}

// Hostile patches just under the 16 MiB a patch file may hold.
std::string hostilePatch(std::int64_t which) {
  const std::size_t size = kMaxPatchBytes - 64;
  std::string text;
  const auto fill = [&](const std::string& head, const std::string& item, const std::string& tail) {
    text = head;
    for (std::size_t n = 0; text.size() + item.size() + tail.size() < size; ++n) text += (n > 0 ? "," : "") + item;
    text += tail;
  };
  switch (which) {
    case 0:  // numbers
      fill(R"({"fixtures": [{"source": "pixels", "start": 1, "points": [)", "0", "]}]}");
      break;
    case 1: {  // keys of one object
      text = R"({"fixtures": [{"source": "grid")";
      for (std::size_t k = 0; text.size() < size - 32; ++k) text += ", \"k" + std::to_string(k) + "\": 0";
      text += "}]}";
      break;
    }
    case 2:  // empty objects
      fill(R"({"fixtures": [)", "{}", "]}");
      break;
    default:  // outputs, every one to this machine
      fill(R"({"outputs": [)", R"({"protocol": "sacn", "channels": [1, 3], "host": "127.0.0.1"})", "]}");
      break;
  }
  return text;
}

// Reading one, refused or not; "heap_MiB" is the most heap it held at once.
void BM_ReadHostilePatch(benchmark::State& state) {
  const std::string text = hostilePatch(state.range(0));
  std::int64_t peak = 0;
  std::string refusal = "read";
  for (auto _ : state) {
    const std::int64_t before = gHeap;
    gHeapPeak = before;
    try {
      benchmark::DoNotOptimize(ParsePatchDefinition(text, "hostile.patch"));
    } catch (const EPatchError& error) {
      refusal = error.what();
    }
    peak = std::max(peak, gHeapPeak - before);
  }
  const char* kinds[] = {"numbers", "keys", "objects", "outputs"};
  state.SetLabel(std::string(kinds[state.range(0)]) + ": " + refusal);
  state.counters["heap_MiB"] = static_cast<double>(peak) / (1 << 20);
}

// Argument 0: the 64 × 32 grid; 1: 100,000 pixels.
BENCHMARK(BM_Fill)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Send)->ArgsProduct({{0, 1}, {0, 1, 2}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowAndSend)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadHostilePatch)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumora::output

BENCHMARK_MAIN();
