#include "app/hand_off_queue.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/program_entry.h"

namespace lumora {
namespace {

std::vector<std::uint8_t> record(const std::string& path) { return EncodeCopyData(path); }

// Records arrive in pieces on connections that end in any order; paths
// come out in the order their connections ended, one at a time.
TEST(HandOffQueue, DeliversWellFormedRecordsInTheOrderTheyEnd) {
  THandOffQueue queue;
  const auto a = queue.Open();
  const auto b = queue.Open();
  ASSERT_TRUE(a && b);
  const std::vector<std::uint8_t> first = record("a.ctl");
  EXPECT_TRUE(queue.Receive(*a, std::span(first).first(3)));
  EXPECT_TRUE(queue.Receive(*b, record("b.tol")));
  EXPECT_TRUE(queue.Receive(*a, std::span(first).subspan(3)));
  EXPECT_TRUE(queue.Close(*b));
  EXPECT_TRUE(queue.Close(*a));
  const auto c = queue.Open();
  EXPECT_TRUE(queue.Receive(*c, std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_FALSE(queue.Close(*c)) << "a malformed record is dropped";
  EXPECT_FALSE(queue.Close(*c)) << "and its connection forgotten";
  EXPECT_EQ(queue.Next(), "b.tol");
  EXPECT_EQ(queue.Next(), "a.ctl");
  EXPECT_EQ(queue.Next(), std::nullopt);
}

// A flood of second starts holds no more than the bounds: connections read
// at once, paths waiting, and one record's bytes.
TEST(HandOffQueue, AFloodStaysWithinItsBounds) {
  THandOffQueue queue;
  std::vector<std::uint64_t> open;
  while (const auto c = queue.Open()) open.push_back(*c);
  EXPECT_EQ(open.size(), THandOffQueue::kMaxConnections);
  const std::vector<std::uint8_t> big(kCopyDataHeaderSize + kMaxCopyDataBytes, 'x');
  EXPECT_TRUE(queue.Receive(open[0], big));
  EXPECT_FALSE(queue.Receive(open[0], std::vector<std::uint8_t>{0})) << "past the largest record";
  EXPECT_EQ(queue.Reading(), THandOffQueue::kMaxConnections - 1);
  for (std::size_t i = 0; i < 3 * THandOffQueue::kMaxWaiting; ++i) {
    const auto c = queue.Open();
    ASSERT_TRUE(c);
    queue.Receive(*c, record("show" + std::to_string(i) + ".ctl"));
    queue.Close(*c);
  }
  EXPECT_EQ(queue.Waiting(), THandOffQueue::kMaxWaiting);
  EXPECT_EQ(queue.Dropped(), 2 * THandOffQueue::kMaxWaiting);
  EXPECT_EQ(queue.Next(), "show0.ctl") << "the first come are kept";
}

TEST(HandOffQueue, PeersAreToldByTheirUserId) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  EXPECT_EQ(PeerUserId(pair[0]), ::getuid());
  ::close(pair[0]);
  ::close(pair[1]);
  EXPECT_EQ(PeerUserId(-1), std::nullopt);
}

}  // namespace
}  // namespace lumora
