// The OSC server on 127.0.0.1 with a free port, driven by liblo's own
// oscsend and by liblo calls; the status feedback read back by a receiver
// on 127.0.0.1.
#include <gtest/gtest.h>

#include <lo/lo.h>
#include <unistd.h>

#include <filesystem>

#include "osc_fixtures.h"
#include "support/program_run.h"
#include "sync/osc_server.h"

namespace lumora::sync {
namespace {

using nlohmann::json;

struct TServer {
  TCommandList Commands = lumora::test::BusCommands();
  TOscServer Server{Commands};
  TServer() { EXPECT_EQ(Server.Open(output::kLoopbackAddress, 0), ""); }

  // Waits for the next datagram's inputs.
  std::vector<TOscServer::TInput> Next() {
    for (int i = 0; i < 50; ++i) {
      auto inputs = Server.Receive(100);
      if (!inputs.empty()) return inputs;
    }
    return {};
  }
};

std::string scratch() {
  return (std::filesystem::temp_directory_path() / ("lumora_osc_" + std::to_string(::getpid()))).string();
}

TEST(OscServer, TakesOscsend) {
  TServer server;
  const std::string to = "oscsend 127.0.0.1 " + std::to_string(server.Server.Port()) + " ";
  const struct {
    std::string Arguments;
    std::string Name;
    json Args;
  } cases[] = {
      {"/lumora/play s show.lst", "play", {{"file", "show.lst"}}},
      {"/lumora/next", "next", json::object()},
      {"/lumora/brightness f 0.5", "brightness", {{"percent", 50.0}}},
      {"/lumora/seek/seconds d 90.5", "seek", {{"seconds", 90.5}}},
      {"/lumora/blackout T", "blackout", {{"on", true}}},
  };
  for (const auto& c : cases) {
    const lumora::test::TProgramRun run = lumora::test::RunProgram(to + c.Arguments, scratch());
    ASSERT_EQ(run.Status, 0) << run.Errors;
    const auto inputs = server.Next();
    ASSERT_EQ(inputs.size(), 1u) << c.Arguments;
    const auto* command = std::get_if<TOscCommand>(&inputs[0].Input);
    ASSERT_TRUE(command) << c.Arguments;
    EXPECT_EQ(command->Name, c.Name);
    EXPECT_EQ(command->Args, c.Args);
    EXPECT_EQ(inputs[0].From.Address, output::kLoopbackAddress);
  }
  lumora::test::RunProgram(to + "/lumora/brightness f 2", scratch());
  const auto refused = server.Next();
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(std::get<TOscError>(refused[0].Input).Message, "brightness percent: 2 is outside 0–1");
}

TEST(OscServer, TakesLibloCalls) {
  TServer server;
  lo_address to = lo_address_new("127.0.0.1", std::to_string(server.Server.Port()).c_str());
  ASSERT_NE(to, nullptr);
  ASSERT_GT(lo_send(to, "/lumora/timecode/frame", "i", 480), 0);
  auto inputs = server.Next();
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(std::get<TOscTimecode>(inputs[0].Input).Frame, 480);
  // A bundle of two messages gives two inputs, in order.
  lo_bundle bundle = lo_bundle_new(LO_TT_IMMEDIATE);
  lo_message volume = lo_message_new();
  lo_message_add_int32(volume, 80);
  lo_message next = lo_message_new();
  lo_bundle_add_message(bundle, "/lumora/volume", volume);
  lo_bundle_add_message(bundle, "/lumora/next", next);
  ASSERT_GT(lo_send_bundle(to, bundle), 0);
  lo_bundle_free_recursive(bundle);
  inputs = server.Next();
  ASSERT_EQ(inputs.size(), 2u);
  EXPECT_EQ(std::get<TOscCommand>(inputs[0].Input).Args, (json{{"percent", 80.0}}));
  EXPECT_EQ(std::get<TOscCommand>(inputs[1].Input).Name, "next");
  lo_address_free(to);
  EXPECT_TRUE(server.Server.Receive(0).empty());
}

TEST(OscServer, SendsStatus) {
  TUdpReceiver client;
  ASSERT_EQ(client.Open(output::kLoopbackAddress, 0), "");
  TOscFeedback feedback({output::kLoopbackAddress, client.Port()});
  const auto received = [&] {
    std::vector<TOscMessage> messages;
    std::vector<std::uint8_t> buffer(kMaxDatagram);
    std::string error;
    while (const auto r = client.Receive(buffer, 200, error)) {
      const auto parsed = ParseOscPacket({buffer.data(), r->Size}, error);
      messages.insert(messages.end(), parsed.begin(), parsed.end());
    }
    return messages;
  };
  ASSERT_EQ(feedback.Send({"playing", "show.lst", 10, 1, 3}), "");
  auto messages = received();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].Address, "/lumora/status/frame");
  EXPECT_EQ(messages[0].Arguments, (std::vector<TOscArgument>{std::int64_t{10}}));
  EXPECT_EQ(messages[1].Address, "/lumora/status/state");
  EXPECT_EQ(messages[1].Arguments, (std::vector<TOscArgument>{std::string("playing")}));
  EXPECT_EQ(messages[2].Address, "/lumora/status/file");
  EXPECT_EQ(messages[3].Address, "/lumora/status/entry");
  EXPECT_EQ(messages[3].Types, "ii");
  // Only the frame, and what changed, after that.
  ASSERT_EQ(feedback.Send({"playing", "show.lst", 11, 2, 3}), "");
  messages = received();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].Address, "/lumora/status/entry");
  EXPECT_EQ(messages[1].Arguments, (std::vector<TOscArgument>{std::int64_t{2}, std::int64_t{3}}));
}

}  // namespace
}  // namespace lumora::sync
