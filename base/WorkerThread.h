#pragma once
#include <stdint.h>

// One piece of work run on a thread of its own beside the caller. The work publishes how far it
// has come; the caller waits for a point without polling, and may ask the work to stop early.
// Used to decode a stream ahead of the files read from it, on another core where there is one.
class WorkerThread {
 public:
  typedef void (*Work)(WorkerThread& thread, void* context);

  WorkerThread() = default;
  ~WorkerThread() { Stop(); }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // False when no thread could be made; the caller then does the work itself.
  bool Start(Work work, void* context);
  bool Started() const { return thread_ != nullptr; }

  // For the work: how far it has come (never less than before), and whether to give up.
  void Publish(uint32_t reached);
  bool StopRequested() const;

  // For the caller: the last point published, and a wait until it reaches target or the work
  // has ended, whichever comes first. Everything the work wrote before publishing a point is
  // visible to the caller once it has seen that point.
  uint32_t Reached() const;
  void WaitFor(uint32_t target);
  // Asks the work to stop and waits until it has ended; nothing when none was started.
  void Stop();

  // The thread's entry: runs the work, then marks it ended.
  static void RunOn(void* thread);

 private:
  // Ends an earlier run and sets up a new one, on either platform.
  void Prepare(Work work, void* context);

  void* thread_ = nullptr;
  void* signal_ = nullptr;
  Work work_ = nullptr;
  void* context_ = nullptr;
  uint32_t reached_ = 0;
  uint32_t stop_ = 0;
  uint32_t ended_ = 0;
};
