#include "sync/send_thread.h"

namespace lumora::sync {

TSendThread::TSendThread(std::size_t limit) : fLimit(limit), fThread([this](std::stop_token stop) { run(stop); }) {}

TSendThread::~TSendThread() {
  Flush();
  fThread.request_stop();
  fThread.join();
}

bool TSendThread::Post(std::function<void()> job) {
  {
    const std::lock_guard lock(fLock);
    if (fJobs.size() >= fLimit) {
      ++fDropped;
      return false;
    }
    fJobs.push_back(std::move(job));
  }
  fWake.notify_one();
  return true;
}

void TSendThread::Flush() {
  std::unique_lock lock(fLock);
  fIdle.wait(lock, [this] { return fJobs.empty() && !fBusy; });
}

void TSendThread::run(std::stop_token stop) {
  std::unique_lock lock(fLock);
  while (true) {
    fWake.wait(lock, stop, [this] { return !fJobs.empty(); });
    if (fJobs.empty()) return;
    std::function<void()> job = std::move(fJobs.front());
    fJobs.pop_front();
    fBusy = true;
    lock.unlock();
    job();
    lock.lock();
    fBusy = false;
    if (fJobs.empty()) fIdle.notify_all();
  }
}

}  // namespace lumora::sync
