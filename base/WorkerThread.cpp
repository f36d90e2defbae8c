#include "WorkerThread.h"

#include "Memory.h"

namespace {
uint32_t Load(const uint32_t& value) { return __atomic_load_n(&value, __ATOMIC_ACQUIRE); }
void Store(uint32_t& value, uint32_t to) { __atomic_store_n(&value, to, __ATOMIC_RELEASE); }
}  // namespace

#ifdef _WIN32
#include <windows.h>

namespace {
DWORD WINAPI ThreadEntry(void* thread) {
  WorkerThread::RunOn(thread);
  return 0;
}

void Signal(void* signal) { SetEvent(static_cast<HANDLE>(signal)); }
}  // namespace

bool WorkerThread::Start(Work work, void* context) {
  Prepare(work, context);
  // Auto-reset: one waiter, and a signal given while it was not waiting is kept for it.
  signal_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!signal_) return false;
  thread_ = CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr);
  if (thread_) return true;
  CloseHandle(signal_);
  signal_ = nullptr;
  return false;
}

void WorkerThread::WaitFor(uint32_t target) {
  while (Load(reached_) < target && !Load(ended_)) WaitForSingleObject(signal_, INFINITE);
}

void WorkerThread::Stop() {
  if (!thread_) return;
  Store(stop_, 1);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  CloseHandle(signal_);
  thread_ = signal_ = nullptr;
}

#else
#include <pthread.h>

namespace {
struct Condition {
  pthread_mutex_t mutex;
  pthread_cond_t changed;
};

void* ThreadEntry(void* thread) {
  WorkerThread::RunOn(thread);
  return nullptr;
}

void Signal(void* signal) {
  Condition* condition = static_cast<Condition*>(signal);
  pthread_mutex_lock(&condition->mutex);
  pthread_cond_broadcast(&condition->changed);
  pthread_mutex_unlock(&condition->mutex);
}
}  // namespace

bool WorkerThread::Start(Work work, void* context) {
  Prepare(work, context);
  Condition* condition = static_cast<Condition*>(MemAlloc(sizeof(Condition)));
  if (!condition) return false;
  pthread_mutex_init(&condition->mutex, nullptr);
  pthread_cond_init(&condition->changed, nullptr);
  signal_ = condition;
  pthread_t* thread = static_cast<pthread_t*>(MemAlloc(sizeof(pthread_t)));
  if (thread && pthread_create(thread, nullptr, ThreadEntry, this) == 0) {
    thread_ = thread;
    return true;
  }
  MemFree(thread);
  pthread_cond_destroy(&condition->changed);
  pthread_mutex_destroy(&condition->mutex);
  MemFree(condition);
  signal_ = nullptr;
  return false;
}

void WorkerThread::WaitFor(uint32_t target) {
  Condition* condition = static_cast<Condition*>(signal_);
  pthread_mutex_lock(&condition->mutex);
  while (Load(reached_) < target && !Load(ended_)) pthread_cond_wait(&condition->changed, &condition->mutex);
  pthread_mutex_unlock(&condition->mutex);
}

void WorkerThread::Stop() {
  if (!thread_) return;
  Store(stop_, 1);
  pthread_join(*static_cast<pthread_t*>(thread_), nullptr);
  MemFree(thread_);
  Condition* condition = static_cast<Condition*>(signal_);
  pthread_cond_destroy(&condition->changed);
  pthread_mutex_destroy(&condition->mutex);
  MemFree(condition);
  thread_ = signal_ = nullptr;
}
#endif

void WorkerThread::Prepare(Work work, void* context) {
  Stop();
  work_ = work;
  context_ = context;
  Store(reached_, 0);
  Store(stop_, 0);
  Store(ended_, 0);
}

void WorkerThread::RunOn(void* thread) {
  WorkerThread* self = static_cast<WorkerThread*>(thread);
  self->work_(*self, self->context_);
  Store(self->ended_, 1);
  Signal(self->signal_);
}

void WorkerThread::Publish(uint32_t reached) {
  Store(reached_, reached);
  Signal(signal_);
}

bool WorkerThread::StopRequested() const { return Load(stop_) != 0; }

uint32_t WorkerThread::Reached() const { return Load(reached_); }
