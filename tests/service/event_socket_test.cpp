#include "service/event_socket.h"

#include <gtest/gtest.h>

#include "http_client.h"
#include "service_fixture.h"

namespace lumora::service {
namespace {

using namespace testing;

control::TShowStatus playing(std::int32_t frame) {
  control::TShowStatus show;
  show.State = control::TPlayState::Playing;
  show.File = "demo.lst";
  show.Frame = frame;
  return show;
}

TEST(EventSocket, SendsTheStatusThenEveryChangeAndEvent) {
  TServiceFixture f;
  TWebSocket socket(f.Port(), "/api/events");
  ASSERT_TRUE(socket.Open());
  const auto first = socket.NextOf("status");
  ASSERT_TRUE(first);
  EXPECT_EQ((*first)["status"]["state"], "idle") << "the whole status on connecting";
  f.Status.PublishShow(playing(7));
  const auto changed = socket.NextOf("status");
  ASSERT_TRUE(changed);
  EXPECT_EQ((*changed)["status"]["frame"], 7);
  f.Status.Tell("entry", "entry 2 of 3: demo-waves.tol");
  const auto event = socket.NextOf("event");
  ASSERT_TRUE(event);
  EXPECT_EQ((*event)["event"]["kind"], "entry");
  EXPECT_EQ((*event)["event"]["text"], "entry 2 of 3: demo-waves.tol");
}

TEST(EventSocket, PushesStatusAtMostTenTimesASecond) {
  TServiceFixture f;
  TWebSocket socket(f.Port(), "/api/events");
  ASSERT_TRUE(socket.NextOf("status"));
  // 300 changes as fast as they come: the client sees the last one, and
  // far fewer snapshots than changes.
  const auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= 300; ++i) f.Status.PublishShow(playing(i));
  const auto published = std::chrono::steady_clock::now() - start;
  int received = 0;
  for (;;) {
    const auto message = socket.NextOf("status");
    ASSERT_TRUE(message);
    ++received;
    if ((*message)["status"]["frame"] == 300) break;
  }
  const auto allowed = published / std::chrono::milliseconds(100) + 2;
  EXPECT_LE(received, allowed) << "one snapshot per 100 ms at the most";
}

TEST(EventSocket, CommandsNeedThePassword) {
  TServiceFixture f;
  TWebSocket socket(f.Port(), "/api/events");
  ASSERT_TRUE(socket.Open());
  socket.Send({{"type", "command"}, {"id", 1}, {"name", "level"}, {"args", {{"percent", 20}}}});
  const auto refused = socket.NextOf("result");
  ASSERT_TRUE(refused);
  EXPECT_EQ((*refused)["result"]["error"], "the password is needed");
  socket.Send({{"type", "auth"}, {"id", 2}, {"secret", "nope"}});
  EXPECT_EQ((*socket.NextOf("auth"))["ok"], false);
  socket.Send({{"type", "auth"}, {"id", 3}, {"secret", kPassword}});
  EXPECT_EQ((*socket.NextOf("auth"))["ok"], true);
  socket.Send({{"type", "command"}, {"id", 4}, {"name", "level"}, {"args", {{"percent", 20}}}});
  const auto done = socket.NextOf("result");
  ASSERT_TRUE(done);
  EXPECT_EQ((*done)["id"], 4);
  EXPECT_EQ((*done)["result"]["done"], true);
  EXPECT_EQ(f.Level, 20);
}

TEST(EventSocket, AnotherSitesPageIsRefused) {
  TServiceFixture f;
  TWebSocket foreign(f.Port(), "/api/events", {{"Origin", "http://evil.example"}});
  EXPECT_FALSE(foreign.Open());
  TWebSocket own(f.Port(), "/api/events", {{"Origin", "http://127.0.0.1:" + std::to_string(f.Port())}});
  EXPECT_TRUE(own.Open());
}

TEST(EventSocket, SocketsAreCappedAndVanishedClientsLetGo) {
  TServiceOptions options;
  options.Sockets = 3;
  TServiceFixture f(options);
  {
    std::vector<std::unique_ptr<TWebSocket>> sockets;
    for (int i = 0; i < 3; ++i) {
      sockets.push_back(std::make_unique<TWebSocket>(f.Port(), "/api/events"));
      ASSERT_TRUE(sockets.back()->Open());
    }
    EXPECT_FALSE(TWebSocket(f.Port(), "/api/events").Open()) << "the fourth is refused";
    for (auto& socket : sockets) socket->Socket().Close();
  }
  for (int tries = 0; f.Service->Sockets() > 0 && tries < 200; ++tries) {
    f.Status.PublishShow(playing(tries));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(f.Service->Sockets(), 0) << "clients that vanished are let go";
  EXPECT_TRUE(TWebSocket(f.Port(), "/api/events").Open());
}

// A client that never reads is dropped once a write has waited too long;
// the others go on hearing every change meanwhile.
TEST(EventSocket, AClientThatDoesNotReadIsDroppedWithoutHoldingUpOthers) {
  TServiceOptions options;
  options.RequestTimeout = std::chrono::milliseconds(500);
  options.StatusEvery = std::chrono::milliseconds(1);
  options.SocketIdle = std::chrono::milliseconds(500);
  TServiceFixture f(options);
  TWebSocket stuck(f.Port(), "/api/events");
  TWebSocket reader(f.Port(), "/api/events");
  ASSERT_TRUE(stuck.Open());
  ASSERT_TRUE(reader.NextOf("status"));
  control::TShowStatus show = playing(0);
  show.Warnings.assign(50, std::string(1000, 'w'));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (int i = 1; f.Service->Sockets() > 1 && std::chrono::steady_clock::now() < deadline; ++i) {
    show.Frame = i;
    f.Status.PublishShow(show);
    const auto message = reader.NextOf("status");
    ASSERT_TRUE(message) << "the reader is served at change " << i;
  }
  EXPECT_EQ(f.Service->Sockets(), 1) << "the client that did not read was dropped";
}

}  // namespace
}  // namespace lumora::service
