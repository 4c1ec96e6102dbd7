// MultiSync packets against captures written byte by byte from the
// published layout (little-endian, packed), hostile datagrams refused with a
// reason, and a leader's packets through the light outputs' socket to a
// receiver on 127.0.0.1.
#include <gtest/gtest.h>

#include <vector>

#include "output/udp_socket.h"
#include "sync/multisync_packet.h"
#include "sync/udp_receiver.h"

namespace lumora::sync {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes withName(Bytes head, const std::string& name) {
  head.insert(head.end(), name.begin(), name.end());
  head.push_back(0);
  return head;
}

TEST(MultiSyncPacket, MatchesCaptures) {
  const struct {
    TSyncPacket Packet;
    Bytes Capture;
  } cases[] = {
      {{TSyncAction::Start, TSyncFileType::Sequence, 0, 0, "show.fseq"},
       withName({'F', 'P', 'P', 'D', 1, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "show.fseq")},
      // Frame 66,770 = 0x000104D2; 41.25 s = 0x42250000 as a float.
      {{TSyncAction::Sync, TSyncFileType::Sequence, 66770, 41.25f, "show.fseq"},
       withName({'F', 'P', 'P', 'D', 1, 20, 0, 2, 0, 0xD2, 0x04, 0x01, 0x00, 0x00, 0x00, 0x25, 0x42}, "show.fseq")},
      // 0.5 s = 0x3F000000.
      {{TSyncAction::Sync, TSyncFileType::Media, 12, 0.5f, "song.mp3"},
       withName({'F', 'P', 'P', 'D', 1, 19, 0, 2, 1, 12, 0, 0, 0, 0, 0, 0, 0x3F}, "song.mp3")},
      {{TSyncAction::Stop, TSyncFileType::Sequence, 7, 0, ""}, withName({'F', 'P', 'P', 'D', 1, 11, 0, 1, 0, 7, 0, 0, 0, 0, 0, 0, 0}, "")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeSyncPacket(c.Packet), c.Capture) << c.Packet.FileName;
    std::string error;
    const auto parsed = ParseMultiSync(c.Capture, error);
    ASSERT_TRUE(parsed && parsed->Sync) << error;
    EXPECT_EQ(*parsed->Sync, c.Packet);
  }
  EXPECT_EQ(EncodeBlankPacket(), (Bytes{'F', 'P', 'P', 'D', 3, 0, 0}));
}

TEST(MultiSyncPacket, NamesAreBounded) {
  const std::string longName(400, 'a');
  const Bytes packet = EncodeSyncPacket({TSyncAction::Start, TSyncFileType::Sequence, 1, 0, longName});
  ASSERT_EQ(packet.size(), kMultiSyncHeaderSize + kSyncFieldsSize + kMaxSyncFileName + 1);
  std::string error;
  EXPECT_EQ(ParseMultiSync(packet, error)->Sync->FileName, std::string(kMaxSyncFileName, 'a'));
  // A NUL inside the name ends it.
  const Bytes cut = EncodeSyncPacket({TSyncAction::Start, TSyncFileType::Sequence, 1, 0, std::string("ab\0cd", 5)});
  EXPECT_EQ(ParseMultiSync(cut, error)->Sync->FileName, "ab");
}

TEST(MultiSyncPacket, HostileDatagramsAreRefused) {
  const Bytes good = EncodeSyncPacket({TSyncAction::Sync, TSyncFileType::Sequence, 40, 1.2f, "show.fseq"});
  auto changed = [&](std::size_t at, std::uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  Bytes longName = {'F', 'P', 'P', 'D', 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  longName.insert(longName.end(), 300, 'x');
  longName[5] = static_cast<std::uint8_t>((longName.size() - 7) & 0xFF);
  longName[6] = static_cast<std::uint8_t>((longName.size() - 7) >> 8);
  const struct {
    Bytes Datagram;
    std::string Error;
  } cases[] = {
      {{}, "not a MultiSync packet"},
      {{'F', 'P', 'P'}, "not a MultiSync packet"},
      {changed(0, 'G'), "not a MultiSync packet"},
      {{'F', 'P', 'P', 'D', 1, 10, 0}, "declares 10 bytes of data but carries 0"},
      {changed(5, 0xFF), "declares 255 bytes of data but carries 20"},
      {{'F', 'P', 'P', 'D', 1, 3, 0, 2, 0, 0}, "sync packet of 3 bytes is too short"},
      {changed(7, 4), "unknown sync type 4 or file type 0"},
      {changed(8, 2), "unknown sync type 2 or file type 2"},
      {changed(4, 9), "type 9 is not followed"},
      {changed(4, 0), "type 0 is not followed"},
      {longName, "file name is longer than 255 bytes"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseMultiSync(c.Datagram, error)) << c.Error;
    EXPECT_NE(error.find(c.Error), std::string::npos) << error;
  }
  // A name that runs to the end of the data without its NUL is taken, and
  // bytes past the declared length are ignored; so is a ping's content.
  Bytes unterminated = good;
  unterminated.pop_back();
  unterminated[5] -= 1;
  unterminated.push_back('!');
  std::string error;
  EXPECT_EQ(ParseMultiSync(unterminated, error)->Sync->FileName, "show.fseq");
  EXPECT_EQ(ParseMultiSync(Bytes{'F', 'P', 'P', 'D', 4, 1, 0, 3}, error)->Type, TMultiSyncType::Ping);
  // Seconds that are not a number count as 0.
  Bytes nan = good;
  nan[13] = nan[14] = 0xFF;
  nan[15] = 0xC0;
  nan[16] = 0x7F;
  EXPECT_EQ(ParseMultiSync(nan, error)->Sync->Seconds, 0.0f);
}

TEST(MultiSyncPacket, TravelsOverLoopback) {
  TUdpReceiver receiver;
  ASSERT_EQ(receiver.Open(output::kLoopbackAddress, 0), "");
  ASSERT_NE(receiver.Port(), 0);
  output::TUdpSocket socket;
  ASSERT_EQ(socket.Open(0, std::nullopt), "");
  const Bytes packet = EncodeSyncPacket({TSyncAction::Start, TSyncFileType::Sequence, 0, 0, "show.fseq"});
  const output::TDatagram datagram{packet, {}, {}, {output::kLoopbackAddress, receiver.Port()}};
  output::TSendScratch scratch;
  ASSERT_EQ(socket.Send({&datagram, 1}, scratch), "");
  Bytes buffer(kMaxDatagram);
  std::string error;
  const auto received = receiver.Receive(buffer, 5000, error);
  ASSERT_TRUE(received) << error;
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(received->Size)), packet);
  EXPECT_EQ(received->From.Address, output::kLoopbackAddress);
  EXPECT_FALSE(receiver.Receive(buffer, 0, error));
  EXPECT_EQ(error, "");
}

}  // namespace
}  // namespace lumora::sync
