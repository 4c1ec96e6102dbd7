// Any datagram on the MultiSync port: parsed, a sync packet written back
// and read again unchanged, and handed to a follower that decides on it
// at once and a minute later; and the same datagram coming back to a
// leader, read as a follower's report and written back unchanged.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_check.h"
#include "sync/follower.h"
#include "sync/follower_report.h"
#include "sync/multisync_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora::sync;
  using lumora::fuzz::Check;
  std::string error;
  if (const auto report = ParseFollowerReport({data, size}, error)) {
    const auto again = ParseFollowerReport(EncodeFollowerReport(*report), error);
    Check(again && *again == *report);
  }
  const auto message = ParseMultiSync({data, size}, error);
  if (!message || !message->Sync) return 0;
  const TSyncPacket& packet = *message->Sync;
  Check(packet.FileName.size() <= kMaxSyncFileName);
  const auto again = ParseMultiSync(EncodeSyncPacket(packet), error);
  Check(again && again->Sync && *again->Sync == packet);
  TFollower follower({}, [](std::string_view name) { return MatchShowByStem(name, {"show.ctl", "a.lst"}); });
  follower.Heard(packet, TSyncTime{});
  for (const double later : {0.0, 60.0}) {
    const auto now = TSyncTime{} + std::chrono::duration_cast<TSyncClock::duration>(std::chrono::duration<double>(later));
    const TFollowerDecision d = follower.Decide({true, "show.ctl", 10, 0.03}, now);
    Check(d.Frame >= 0 && d.TickFactor >= 0.9 && d.TickFactor <= 1.1);
    follower.DecideMusic(1.0, now);
  }
  return 0;
}
