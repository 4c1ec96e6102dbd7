// sACN, Art-Net and DDP as receivers on the loopback address see them,
// decoded by the protocols' published layouts: the channels of a grid frame
// and a lamp frame, sequence numbers, synchronisation, the resend while
// paused, the blackout and sACN's stream-terminated packets after it, the
// dark frame of a movie the patch cannot drive, and unreachable ports
// reported once, however many.
#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "output/live_output.h"
#include "output/sacn_packet.h"
#include "output_fixtures.h"

namespace lumora::output {
namespace {

using test::Big16;
using test::Big32;
using test::Bytes;
using test::TLoopbackReceiver;

constexpr std::size_t kChannels = 6159;
const TComponentId kCid = {0xA0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xAF};

// The small movie with a 64 × 32 grid as layer 2: 6,144 grid channels, then
// the strip's 5 lamps.
TMovieShape showMovie() {
  TMovieShape movie = test::SmallMovie();
  movie.GridLayers.push_back({32, 64});
  return movie;
}

std::string showPatch(const std::string& output) {
  return R"({"fixtures": [{"source": "grid", "layer": 2, "colours": "GRB", "start": 1},
                          {"source": "lamps", "layer": 1, "graphic": 2, "start": 6145}],
             "outputs": [)" +
         output + "]}";
}

struct TShowFrame {
  test::TTestGrid Grid{showMovie().GridLayers};
  TBitmap32 Bitmap;
  test::TTestLamps Lamps;
  TShowFrame() {
    test::PaintCoordinates(Bitmap, 100, 50);
    Lamps.Centres[{1, 2}] = {{10, 3}, {11, 3}, {12, 3}, {13, 3}, {14, 3}};
  }
  TFrameView View() const { return {&Grid, &Bitmap, {}, &Lamps}; }
};

// Worked out cell by cell: (green, red, blue) = (column, row, 33) for the
// grid, then (x, y, 7) of each lamp's pixel.
Bytes expectedChannels() {
  Bytes out;
  for (int cell = 0; cell < 64 * 32; ++cell) out.insert(out.end(), {std::uint8_t(cell % 64), std::uint8_t(cell / 64), 33});
  for (std::uint8_t x = 10; x < 15; ++x) out.insert(out.end(), {x, 3, 7});
  return out;
}

std::unique_ptr<TLiveOutput> liveOutput(const std::string& output, TLiveSettings settings = {}) {
  settings.Cid = kCid;
  return test::BoundLiveOutput(showPatch(output), showMovie(), std::move(settings));
}

std::string loopback(std::uint16_t port) { return R"("host": "127.0.0.1", "port": )" + std::to_string(port); }

Bytes receive(TLoopbackReceiver& receiver) {
  std::optional<Bytes> datagram = receiver.Receive();
  EXPECT_TRUE(datagram.has_value()) << "no datagram";
  return datagram.value_or(Bytes{});
}

struct TUniverse {
  std::uint32_t Universe = 0;
  std::uint32_t Sequence = 0;
  Bytes Slots;
};

// E1.31-2018 data packet: root, framing and DMP layers at fixed offsets;
// options 0x40 is Stream_Terminated.
TUniverse decodeSacnData(const Bytes& p, std::uint32_t priority, std::uint32_t syncAddress, std::uint32_t options = 0) {
  if (p.size() < 126) {
    ADD_FAILURE() << "short sACN packet of " << p.size() << " bytes";
    return {};
  }
  const std::size_t n = p.size();
  EXPECT_EQ(Big16(p, 0), 0x0010u);
  EXPECT_EQ(Big16(p, 2), 0u);
  EXPECT_EQ(std::memcmp(p.data() + 4, "ASC-E1.17\0\0\0", 12), 0);
  EXPECT_EQ(Big16(p, 16), 0x7000u | (n - 16));
  EXPECT_EQ(Big32(p, 18), 4u);
  EXPECT_TRUE(std::equal(kCid.begin(), kCid.end(), p.begin() + 22));
  EXPECT_EQ(Big16(p, 38), 0x7000u | (n - 38));
  EXPECT_EQ(Big32(p, 40), 2u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data() + 44)), "Lumora Stage");
  EXPECT_TRUE(std::all_of(p.begin() + 44 + 12, p.begin() + 108, [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(p[108], priority);
  EXPECT_EQ(Big16(p, 109), syncAddress);
  EXPECT_EQ(p[112], options);
  EXPECT_EQ(Big16(p, 115), 0x7000u | (n - 115));
  EXPECT_EQ(p[117], 0x02u);
  EXPECT_EQ(p[118], 0xA1u);
  EXPECT_EQ(Big16(p, 119), 0u);
  EXPECT_EQ(Big16(p, 121), 1u);
  EXPECT_EQ(Big16(p, 123), n - 125);
  EXPECT_EQ(p[125], 0u) << "start code";
  return {Big16(p, 113), p[111], Bytes(p.begin() + 126, p.end())};
}

// E1.31-2018 synchronisation packet: 49 bytes, extended root vector.
void expectSacnSync(const Bytes& p, std::uint32_t sequence, std::uint32_t syncAddress) {
  ASSERT_EQ(p.size(), 49u);
  EXPECT_EQ(Big16(p, 16), 0x7000u | 33);
  EXPECT_EQ(Big32(p, 18), 8u);
  EXPECT_TRUE(std::equal(kCid.begin(), kCid.end(), p.begin() + 22));
  EXPECT_EQ(Big16(p, 38), 0x7000u | 11);
  EXPECT_EQ(Big32(p, 40), 1u);
  EXPECT_EQ(p[44], sequence);
  EXPECT_EQ(Big16(p, 45), syncAddress);
  EXPECT_EQ(Big16(p, 47), 0u);
}

// ArtDmx: identifier, op-code 0x5000 low byte first, version 14, sequence,
// physical, port-address (SubUni, Net), even length high byte first.
TUniverse decodeArtDmx(const Bytes& p) {
  if (p.size() < 20) {
    ADD_FAILURE() << "short ArtDmx of " << p.size() << " bytes";
    return {};
  }
  EXPECT_EQ(std::memcmp(p.data(), "Art-Net\0", 8), 0);
  EXPECT_EQ(p[8], 0x00u);
  EXPECT_EQ(p[9], 0x50u);
  EXPECT_EQ(Big16(p, 10), 14u);
  EXPECT_EQ(p[13], 0u);
  EXPECT_EQ(Big16(p, 16), p.size() - 18);
  EXPECT_EQ(Big16(p, 16) % 2, 0u);
  return {(std::uint32_t{p[15]} << 8) | p[14], p[12], Bytes(p.begin() + 18, p.end())};
}

// Two frames, the blackout, then three rounds of stream-terminated packets
// for every universe with no sync after them, and then silence.
TEST(NetworkOutputs, SacnSendsEveryUniverseThenSyncsThenBlacksOutAndTerminates) {
  TLoopbackReceiver receiver;
  auto live = liveOutput(R"({"protocol": "sacn", "channels": [1, 6159], "universe": 5, "priority": 150,
                                   "sync": true, "sync_universe": 100, )" + loopback(receiver.Port()) + "}");
  const TShowFrame frame;
  for (std::uint32_t round = 0; round < 6; ++round) {
    SCOPED_TRACE(round < 2 ? "frame " + std::to_string(round) : round == 2 ? "blackout" : "terminated");
    if (round < 3) {
      round < 2 ? live->ShowFrame(frame.View()) : live->Stop();
      live->Flush();
    }
    Bytes channels;
    for (std::uint32_t k = 0; k < 13; ++k) {
      const TUniverse u = decodeSacnData(receive(receiver), 150, 100, round < 3 ? 0 : 0x40);
      EXPECT_EQ(u.Universe, 5 + k);
      EXPECT_EQ(u.Sequence, round);
      EXPECT_EQ(u.Slots.size(), k < 12 ? 510u : kChannels - 12 * 510);
      channels.insert(channels.end(), u.Slots.begin(), u.Slots.end());
    }
    if (round < 3) expectSacnSync(receive(receiver), round, 100);
    EXPECT_EQ(channels, round < 2 ? expectedChannels() : Bytes(kChannels, 0));
  }
  live.reset();
  EXPECT_FALSE(receiver.Receive(300).has_value()) << "sent after the streams ended";
}

TEST(NetworkOutputs, ArtNetSendsEvenLengthsInSequenceThenSyncs) {
  TLoopbackReceiver receiver;
  // 509 slots a universe: every length is odd and padded with a 0.
  const auto live = liveOutput(R"({"protocol": "artnet", "channels": [1, 6159], "universe": 300,
                                   "universe_size": 509, "sync": true, )" + loopback(receiver.Port()) + "}");
  const TShowFrame frame;
  for (std::uint32_t round = 0; round < 2; ++round) {
    live->ShowFrame(frame.View());
    live->Flush();
    Bytes channels;
    for (std::uint32_t k = 0; k < 13; ++k) {
      TUniverse u = decodeArtDmx(receive(receiver));
      const std::size_t slots = k < 12 ? 509 : kChannels - 12 * 509;
      EXPECT_EQ(u.Universe, 300 + k);
      EXPECT_EQ(u.Sequence, round + 1);
      ASSERT_EQ(u.Slots.size(), slots + 1);
      EXPECT_EQ(u.Slots.back(), 0);
      channels.insert(channels.end(), u.Slots.begin(), u.Slots.end() - 1);
    }
    const Bytes sync = receive(receiver);
    EXPECT_EQ(sync, (Bytes{'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x52, 0, 14, 0, 0}));
    EXPECT_EQ(channels, expectedChannels());
  }
}

TEST(NetworkOutputs, DdpSplitsAFrameAndPushesItsLastPacket) {
  TLoopbackReceiver receiver;
  const auto live = liveOutput(R"({"protocol": "ddp", "channels": [1, 6159], "offset": 30, )" +
                               loopback(receiver.Port()) + "}");
  const TShowFrame frame;
  for (std::uint32_t round = 0; round < 2; ++round) {
    live->ShowFrame(frame.View());
    live->Flush();
    Bytes channels;
    for (std::uint32_t k = 0; k < 5; ++k) {
      const Bytes p = receive(receiver);
      ASSERT_GE(p.size(), 10u);
      const bool last = k == 4;
      EXPECT_EQ(p[0], last ? 0x41 : 0x40) << "version 1, push on the last";
      EXPECT_EQ(p[1], 5 * round + k + 1) << "sequence";
      EXPECT_EQ(p[2], 0x0B) << "RGB, 8 bits a component";
      EXPECT_EQ(p[3], 1) << "default output device";
      EXPECT_EQ(Big32(p, 4), 30 + 1440 * k);
      EXPECT_EQ(Big16(p, 8), p.size() - 10);
      EXPECT_EQ(p.size() - 10, last ? kChannels - 4 * 1440 : 1440);
      channels.insert(channels.end(), p.begin() + 10, p.end());
    }
    EXPECT_EQ(channels, expectedChannels());
  }
}

// The strip's 15 channels alone to the receiver, resent at the refresh.
std::unique_ptr<TLiveOutput> lampsOutput(const TLoopbackReceiver& receiver, std::chrono::milliseconds refresh) {
  TLiveSettings settings;
  settings.Refresh = refresh;
  return liveOutput(R"({"protocol": "sacn", "channels": [6145, 6159], )" + loopback(receiver.Port()) + "}", settings);
}

Bytes lampChannels() {
  const Bytes all = expectedChannels();
  return Bytes(all.end() - 15, all.end());
}

TEST(NetworkOutputs, PausedFramesAreResentUntilTheBlackout) {
  TLoopbackReceiver receiver;
  const auto live = lampsOutput(receiver, std::chrono::milliseconds(150));
  const TShowFrame frame;
  live->ShowFrame(frame.View());
  const Bytes lamps = lampChannels();
  for (std::uint32_t sequence = 0; sequence < 3; ++sequence) {
    const TUniverse u = decodeSacnData(receive(receiver), 100, 0);
    EXPECT_EQ(u.Sequence, sequence);
    EXPECT_EQ(u.Slots, lamps);
  }
  live->Stop();
  live->Flush();
  while (true) {
    const std::optional<Bytes> p = receiver.Receive();
    ASSERT_TRUE(p.has_value()) << "no blackout";
    if (decodeSacnData(*p, 100, 0).Slots == Bytes(15, 0)) break;
  }
  for (int i = 0; i < kSacnTerminationPackets; ++i) {
    EXPECT_EQ(decodeSacnData(receive(receiver), 100, 0, 0x40).Slots, Bytes(15, 0)) << "stream terminated";
  }
  EXPECT_FALSE(receiver.Receive(600).has_value()) << "resent after the blackout";
}

// A show opened before its first frame was drawn ended a test pattern that
// was not shown, and the lamps flashed dark ahead of the frame.
TEST(NetworkOutputs, EndingNoTestPatternSendsNothing) {
  TLoopbackReceiver receiver;
  const auto live = lampsOutput(receiver, std::chrono::milliseconds(150));
  live->SetTestFrame(std::nullopt);
  EXPECT_FALSE(receiver.Receive(300).has_value());
  const TShowFrame frame;
  live->ShowFrame(frame.View());
  EXPECT_EQ(decodeSacnData(receive(receiver), 100, 0).Slots, lampChannels());
  live->Stop();
  live->Flush();
}

// A movie the patch cannot drive: the lit frame before goes dark once, and
// nothing follows however long the movie plays; the next movie it drives
// lights the lamps again.
TEST(NetworkOutputs, AMovieThePatchCannotDriveGoesDarkOnce) {
  TLoopbackReceiver receiver;
  const auto live = lampsOutput(receiver, std::chrono::milliseconds(100));
  const TShowFrame frame;
  const Bytes lamps = lampChannels();
  live->ShowFrame(frame.View());
  live->Flush();
  EXPECT_EQ(decodeSacnData(receive(receiver), 100, 0).Slots, lamps);
  EXPECT_THROW(live->BindShow(test::SmallMovie()), EPatchError) << "no grid layer 2";
  for (int i = 0; i < 5; ++i) live->ShowFrame(frame.View());
  live->Flush();
  std::vector<Bytes> sent;
  while (std::optional<Bytes> p = receiver.Receive(500)) sent.push_back(*p);
  ASSERT_EQ(sent.size(), 1u) << "the dark frame once, nothing after it";
  EXPECT_EQ(decodeSacnData(sent[0], 100, 0).Slots, Bytes(15, 0));
  live->BindShow(showMovie());
  live->ShowFrame(frame.View());
  live->Flush();
  EXPECT_EQ(decodeSacnData(receive(receiver), 100, 0).Slots, lamps);
}

// A loopback port no one listens on: the system gave it out and it is free
// again.
std::uint16_t closedPort() {
  const TLoopbackReceiver probe;
  return probe.Port();
}

TEST(NetworkOutputs, AClosedPortIsReportedOnceAndItsReturnOnce) {
  const std::uint16_t port = closedPort();
  test::TReportLog log;
  TLiveSettings settings;
  settings.Retry = std::chrono::milliseconds(100);
  settings.Report = log.Sink();
  const auto live = liveOutput(R"({"protocol": "sacn", "channels": [1, 30], )" + loopback(port) + "}", settings);
  const TShowFrame frame;
  const auto show = [&] { live->ShowFrame(frame.View()); };
  const std::string name = "sACN universe 1 to 127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(log.Await(1, show),
            std::vector<std::string>{name + ": cannot send: Connection refused; will keep trying"});
  // Many more frames and retries while the port stays closed: still one report.
  for (int i = 0; i < 30; ++i) show(), std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(log.Reports().size(), 1u);
  TLoopbackReceiver returned(port);
  ASSERT_EQ(returned.Port(), port);
  const std::vector<std::string> all = log.Await(2, show);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1], name + ": sending again");
  EXPECT_TRUE(returned.Receive().has_value());
}

// Three outputs failing alike are told of in one line that counts them.
TEST(NetworkOutputs, OutputsFailingAlikeAreReportedOnceWithACount) {
  const std::uint16_t port = closedPort();
  test::TReportLog log;
  TLiveSettings settings;
  settings.Report = log.Sink();
  std::string outputs;
  for (int i = 0; i < 3; ++i) {
    outputs += (i > 0 ? ", " : "") + std::string(R"({"protocol": "sacn", "channels": [1, 30], "universe": )") +
               std::to_string(i + 1) + ", " + loopback(port) + "}";
  }
  const auto live = liveOutput(outputs, settings);
  const TShowFrame frame;
  const auto show = [&] { live->ShowFrame(frame.View()); };
  EXPECT_EQ(log.Await(1, show), std::vector<std::string>{"sACN universe 1 to 127.0.0.1:" + std::to_string(port) +
                                                         " and 2 more outputs: cannot send: Connection refused; will "
                                                         "keep trying"});
}

TEST(NetworkOutputs, MulticastAndBroadcastDestinationsAreComputedNotSent) {
  const TChannelPatch patch = ParseChannelPatch(
      showPatch(R"({"protocol": "sacn", "channels": [1, 1020], "universe": 258, "sync": true, "sync_universe": 7},
                   {"protocol": "artnet", "channels": [1, 600], "sync": true},
                   {"protocol": "sacn", "channels": [1, 3], "universe": 63999, "port": 7000})"),
      "dest.patch", showMovie());
  const std::vector<std::vector<TEndpoint>> expected = {
      {{0xEFFF0102, 5568}, {0xEFFF0103, 5568}, {0xEFFF0007, 5568}},
      {{0xFFFFFFFF, 6454}, {0xFFFFFFFF, 6454}, {0xFFFFFFFF, 6454}},
      {{0xEFFFF9FF, 7000}},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(MakeLightOutput(patch.Outputs[i], kCid)->Destinations(), expected[i]) << i;
  }
}

}  // namespace
}  // namespace lumora::output
