// Any MIDI byte stream, fed whole and then in pieces of the sizes its first
// bytes choose: the decoder gives only valid timecodes, and the same events
// whichever way the bytes arrive.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_check.h"
#include "sync/midi_timecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumora::sync;
  using lumora::fuzz::Check;
  TMtcDecoder whole;
  const auto events = whole.Feed({data, size});
  for (const TMtcEvent& e : events) {
    if (e.Kind == TMtcEvent::TKind::Timecode) Check(IsValidTimecode(e.Timecode) && e.Seconds >= 0);
  }
  TMtcDecoder pieces;
  std::size_t count = 0;
  for (std::size_t at = 0, step = 1; at < size; at += step) {
    step = 1 + data[at] % 7;
    count += pieces.Feed({data + at, std::min(step, size - at)}).size();
  }
  Check(count == events.size());
  return 0;
}
