#include <ola/DmxBuffer.h>
#include <ola/client/StreamingClient.h>

#include <algorithm>
#include <vector>

#include "output/output_kinds_p.h"

namespace lumora::output {

namespace {

// The universes handed to the OLA daemon on this machine over its RPC port;
// OLA patches them to whatever lights it drives.
class TOlaOutput final : public TLightOutput {
 public:
  explicit TOlaOutput(const TOutputRoute& route)
      : TLightOutput("OLA " + UniverseRangeText("universe", route.Universe, route.UniverseCount()) + " on RPC port " +
                     std::to_string(route.Port)),
        fRoute(route) {}

  std::string Send(std::span<const std::uint8_t> frame, TSendScratch& scratch) override;
  std::vector<TEndpoint> Destinations() const override {
    return std::vector<TEndpoint>(fRoute.UniverseCount(), TEndpoint{kLoopbackAddress, fRoute.Port});
  }

 private:
  std::string connect();

  TOutputRoute fRoute;
  std::unique_ptr<ola::client::StreamingClient> fClient;
  ola::DmxBuffer fBuffer;
};

std::string TOlaOutput::connect() {
  ola::client::StreamingClient::Options options;
  // Never start a daemon of our own: the lighting desk's OLA is the one to use.
  options.auto_start = false;
  options.server_port = fRoute.Port;
  auto client = std::make_unique<ola::client::StreamingClient>(options);
  if (!client->Setup()) return "no OLA daemon answers";
  fClient = std::move(client);
  return {};
}

std::string TOlaOutput::Send(std::span<const std::uint8_t> frame, TSendScratch& /*scratch*/) {
  const std::span<const std::uint8_t> channels = OutputChannels(fRoute, frame);
  if (channels.empty()) return kShortFrame;
  if (!fClient) {
    const std::string error = connect();
    if (!error.empty()) return error;
  }
  for (std::uint32_t k = 0; k < fRoute.UniverseCount(); ++k) {
    const std::size_t first = std::size_t{k} * fRoute.UniverseSize;
    const std::size_t length = std::min<std::size_t>(fRoute.UniverseSize, channels.size() - first);
    fBuffer.Set(channels.data() + first, static_cast<unsigned>(length));
    if (!fClient->SendDmx(fRoute.Universe + k, fBuffer)) {
      fClient.reset();
      return "the OLA daemon closed the connection";
    }
  }
  return {};
}

}  // namespace

std::unique_ptr<TLightOutput> MakeOlaOutput(const TOutputRoute& route) { return std::make_unique<TOlaOutput>(route); }

}  // namespace lumora::output
