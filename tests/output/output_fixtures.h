// What the output tests share: a small movie's grid cells, drawn frame and
// lamps made in code, the exact text of a patch error, and a UDP receiver on
// the loopback address that hands back each datagram as it came.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output/channel_patch.h"
#include "output/frame_input.h"
#include "output/live_output.h"
#include "output/output_sender.h"

namespace lumora::output::test {

using Bytes = std::vector<std::uint8_t>;

// Grid layers whose cell (r, c) of layer L is 0x00BBGGRR with red = r,
// green = c and blue = 16 × L + 1, so every channel names its cell.
class TTestGrid final : public TGridCells {
 public:
  explicit TTestGrid(std::vector<TGridLayerShape> layers) : fLayers(std::move(layers)) {}
  std::int32_t Rows(std::int32_t layer) const override { return at(layer).Rows; }
  std::int32_t Columns(std::int32_t layer) const override { return at(layer).Columns; }
  TWinColor CellColor(std::int32_t layer, std::int32_t row, std::int32_t column) const override {
    return static_cast<TWinColor>(((16 * layer + 1) << 16) | (column << 8) | row);
  }

 private:
  TGridLayerShape at(std::int32_t layer) const {
    return layer >= 0 && layer < static_cast<std::int32_t>(fLayers.size()) ? fLayers[static_cast<std::size_t>(layer)]
                                                                           : TGridLayerShape{};
  }
  std::vector<TGridLayerShape> fLayers;
};

class TTestLamps final : public TLampCentres {
 public:
  std::map<std::pair<std::int32_t, std::int32_t>, TPoints> Centres;
  void LampCentres(std::int32_t layer, std::int32_t graphic, TPoints& centres) const override {
    const auto found = Centres.find({layer, graphic});
    centres = found == Centres.end() ? TPoints{} : found->second;
  }
};

// A drawn frame whose pixel (x, y) is red x, green y, blue 7.
inline void PaintCoordinates(TBitmap32& bitmap, std::int32_t width, std::int32_t height) {
  bitmap.Resize(width, height);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) bitmap.WritePixel(x, y, Color32(255, std::uint8_t(x), std::uint8_t(y), 7));
  }
}

// Two grid layers (4 × 6 and 2 × 3), a 200 × 100 movie, a light strip of 5
// lamps as graphic 2 of layer 1 and an LED bar of 3 as graphic 0 of layer 3.
inline TMovieShape SmallMovie() {
  TMovieShape movie;
  movie.GridLayers = {{4, 6}, {2, 3}};
  movie.LampGraphics = {{1, 2, "TLightStrip", 5, TLampKind::LightStrip}, {3, 0, "TLedBar", 3, TLampKind::LedMatrix}};
  movie.Width = 200;
  movie.Height = 100;
  return movie;
}

// The message a patch fails with; empty when it loads.
inline std::string PatchErrorOf(const std::string& text, const TMovieShape& movie = SmallMovie()) {
  try {
    ParseChannelPatch(text, "show.patch", movie);
  } catch (const EPatchError& e) {
    return e.what();
  }
  return "";
}

// A live output of the patch text, bound to the movie.
inline std::unique_ptr<TLiveOutput> BoundLiveOutput(const std::string& text, const TMovieShape& movie,
                                                    TLiveSettings settings) {
  auto live = std::make_unique<TLiveOutput>(ParsePatchDefinition(text, "live.patch"), std::move(settings));
  live->BindShow(movie);
  return live;
}

// A UDP socket on 127.0.0.1, at a port the system picks unless one is given.
class TLoopbackReceiver {
 public:
  explicit TLoopbackReceiver(std::uint16_t port = 0) {
    fHandle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const int big = 8 << 20;
    ::setsockopt(fHandle, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    ::bind(fHandle, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fHandle, reinterpret_cast<sockaddr*>(&address), &length);
    fPort = ntohs(address.sin_port);
  }
  ~TLoopbackReceiver() { ::close(fHandle); }
  TLoopbackReceiver(const TLoopbackReceiver&) = delete;
  TLoopbackReceiver& operator=(const TLoopbackReceiver&) = delete;

  std::uint16_t Port() const { return fPort; }

  // Every datagram waiting now, in order.
  std::vector<Bytes> Drain() {
    std::vector<Bytes> datagrams;
    while (std::optional<Bytes> d = Receive(0)) datagrams.push_back(std::move(*d));
    return datagrams;
  }

  // The next datagram, or none within the time.
  std::optional<Bytes> Receive(int milliseconds = 2000) {
    pollfd ready{fHandle, POLLIN, 0};
    if (::poll(&ready, 1, milliseconds) != 1) return std::nullopt;
    Bytes datagram(65536);
    const ssize_t size = ::recv(fHandle, datagram.data(), datagram.size(), 0);
    if (size < 0) return std::nullopt;
    datagram.resize(static_cast<std::size_t>(size));
    return datagram;
  }

 private:
  int fHandle = -1;
  std::uint16_t fPort = 0;
};

// The sender thread's reports, kept for the test thread.
class TReportLog {
 public:
  TOutputReport Sink() {
    return [this](const std::string& message) {
      std::lock_guard guard(fLock);
      fReports.push_back(message);
    };
  }
  // Runs step every 20 ms until count reports have come, for at most 10 s.
  std::vector<std::string> Await(std::size_t count, const std::function<void()>& step) {
    for (int i = 0; i < 500 && Reports().size() < count; ++i) {
      step();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Reports();
  }
  std::vector<std::string> Reports() {
    std::lock_guard guard(fLock);
    return fReports;
  }

 private:
  std::mutex fLock;
  std::vector<std::string> fReports;
};

inline std::uint32_t Big16(const Bytes& b, std::size_t at) { return (std::uint32_t{b[at]} << 8) | b[at + 1]; }
inline std::uint32_t Big32(const Bytes& b, std::size_t at) { return (Big16(b, at) << 16) | Big16(b, at + 2); }

}  // namespace lumora::output::test
