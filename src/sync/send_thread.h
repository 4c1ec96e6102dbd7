// TSendThread: what the engine's thread hands over to be sent (MultiSync,
// timecode, OSC status), run in order on a thread of its own, so that no
// frame waits on the network. The queue is bounded: past its limit a job is
// dropped and counted rather than held without bound.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace lumora::sync {

class TSendThread {
 public:
  explicit TSendThread(std::size_t limit = 1024);
  // Runs what is queued, then ends.
  ~TSendThread();
  TSendThread(const TSendThread&) = delete;
  TSendThread& operator=(const TSendThread&) = delete;

  // False when the queue is full and the job was dropped.
  bool Post(std::function<void()> job);
  // Waits until every job posted so far has run.
  void Flush();
  std::uint64_t Dropped() const { return fDropped.load(); }

 private:
  void run(std::stop_token stop);

  std::size_t fLimit;
  std::mutex fLock;
  std::condition_variable_any fWake;
  std::condition_variable fIdle;
  // Under fLock.
  std::deque<std::function<void()>> fJobs;
  bool fBusy = false;
  std::atomic<std::uint64_t> fDropped{0};
  std::jthread fThread;
};

}  // namespace lumora::sync
