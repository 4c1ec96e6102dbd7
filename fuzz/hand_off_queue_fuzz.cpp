// The hand-off queue under any sequence of second starts: connections that
// open, send pieces of records or whole ones, end, and paths taken by the
// window. The queue must stay within its bounds and give out only paths a
// record can carry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <span>
#include <string>

#include "app/hand_off_queue.h"
#include "app/program_entry.h"

namespace {

using namespace lumora;

// The input as operations: a byte chooses one, the bytes after it are its
// arguments.
class TOperations {
 public:
  explicit TOperations(std::span<const std::uint8_t> data) : fData(data) {}
  bool More() const { return fAt < fData.size(); }
  std::uint8_t Byte() { return More() ? fData[fAt++] : 0; }
  std::span<const std::uint8_t> Bytes(std::size_t n) {
    n = std::min(n, fData.size() - fAt);
    const auto bytes = fData.subspan(fAt, n);
    fAt += n;
    return bytes;
  }

 private:
  std::span<const std::uint8_t> fData;
  std::size_t fAt = 0;
};

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  THandOffQueue queue;
  TOperations ops({data, size});
  std::uint64_t lastConnection = 0;
  while (ops.More()) {
    const std::uint8_t op = ops.Byte();
    const std::uint64_t connection = lastConnection - (ops.Byte() % 4);
    switch (op % 5) {
      case 0:
        if (const auto c = queue.Open()) lastConnection = *c;
        break;
      case 1: queue.Receive(connection, ops.Bytes(ops.Byte())); break;
      case 2: {
        const std::string path(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, ops.Byte()));
        queue.Receive(connection, EncodeCopyData(path));
        break;
      }
      case 3: queue.Close(connection); break;
      default:
        if (const auto path = queue.Next()) check(path->find('\0') == std::string::npos);
        break;
    }
    check(queue.Waiting() <= THandOffQueue::kMaxWaiting);
    check(queue.Reading() <= THandOffQueue::kMaxConnections);
  }
  return 0;
}
