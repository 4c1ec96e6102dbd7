#include "control/status.h"

#include <gtest/gtest.h>

#include <thread>

namespace lumora::control {
namespace {

TEST(StatusBoard, PublishesASnapshotOnlyWhenSomethingChanged) {
  TStatusBoard board({"1.2.3", "shed", {}});
  const auto first = board.Current();
  TShowStatus show;
  show.State = TPlayState::Playing;
  show.File = "demo.lst";
  show.Entry = 2;
  show.Entries = 3;
  board.PublishShow(show);
  const auto second = board.Current();
  EXPECT_EQ(second->Sequence, first->Sequence + 1);
  board.PublishShow(show);
  EXPECT_EQ(board.Current(), second) << "the same status makes no new snapshot";
  EXPECT_EQ(first->Show.State, TPlayState::Idle) << "a snapshot once published never changes";

  const nlohmann::json json = board.Json();
  for (const char* key : {"state", "file", "entry", "entries", "frame", "frames", "brightness", "blackout", "outputs",
                          "version", "host", "uptime"}) {
    EXPECT_TRUE(json.contains(key)) << key;
  }
  EXPECT_EQ(json["state"], "playing");
  EXPECT_EQ(json["entry"], 2);
  EXPECT_EQ(json["host"], "shed");
  EXPECT_EQ(json["pass-remaining"], nullptr) << "unknown until every entry's length is known";
}

TEST(StatusBoard, SectionsAndMessagesJoinTheSnapshot) {
  TStatusBoard board({"1", "h", {}});
  board.PublishSection("schedule", {{"next", "19:00"}});
  for (int i = 0; i < 20; ++i) board.Tell("message", "note " + std::to_string(i));
  board.Tell("entry", "entry 2 of 3");
  const nlohmann::json json = board.Json();
  EXPECT_EQ(json["schedule"]["next"], "19:00");
  ASSERT_EQ(json["messages"].size(), 12u) << "the latest messages only";
  EXPECT_EQ(json["messages"].back()["text"], "note 19") << "entry changes are events, not messages";
  const std::vector<TEvent> events = board.EventsAfter(19);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].Kind, "entry");
}

TEST(StatusBoard, WaitersHearOfNews) {
  TStatusBoard board({"1", "h", {}});
  const std::uint64_t seen = board.Current()->Sequence;
  EXPECT_FALSE(board.WaitForNews(seen, board.LastEvent(), std::chrono::milliseconds(1)));
  std::jthread publisher([&] { board.Tell("message", "hello"); });
  EXPECT_TRUE(board.WaitForNews(seen, 0, std::chrono::seconds(30)));
}

}  // namespace
}  // namespace lumora::control
