#include "Subprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

volatile sig_atomic_t interrupted = 0;

void NoteInterruption(int) { interrupted = 1; }

double Now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

}  // namespace

Subprocess::~Subprocess() {
  if (pid_ > 0) Kill();
}

bool Subprocess::Start(const std::vector<std::string>& argv, const Options& options, std::string* error) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> environment;
  for (const std::string& variable : options.environment) environment.push_back(const_cast<char*>(variable.c_str()));
  environment.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  // An ignored signal stays ignored across exec.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const char* output = options.output.empty() ? "/dev/null" : options.output.c_str();
  posix_spawn_file_actions_addopen(&actions, 1, output, O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  if (options.passFd >= 0) posix_spawn_file_actions_adddup2(&actions, options.passFd, 3);
  int failure = posix_spawnp(&pid_, args[0], &actions, &attributes, args.data(), environment.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failure != 0) {
    pid_ = -1;
    *error = "cannot run " + argv[0] + ": " + std::strerror(failure);
    return false;
  }
  return true;
}

bool Subprocess::Wait(double seconds, bool interruptible) {
  double deadline = Now() + seconds;
  while (pid_ > 0) {
    int status = 0;
    pid_t ended = waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      pid_ = -1;
      break;
    }
    if (ended < 0 && errno != EINTR) {
      pid_ = -1;
      break;
    }
    if (Now() >= deadline || (interruptible && interrupted)) return false;
    timespec pause = {0, 20 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  return true;
}

void Subprocess::Kill() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  exitCode_ = 128 + SIGKILL;
  pid_ = -1;
}

void Subprocess::Stop(double seconds) {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  if (!Wait(seconds, false)) Kill();
}

void Subprocess::CatchInterruptions() {
  struct sigaction action = {};
  action.sa_handler = NoteInterruption;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool Subprocess::Interrupted() { return interrupted != 0; }

std::vector<std::string> EnvironmentWithout(const std::vector<std::string>& prefixes) {
  std::vector<std::string> kept;
  for (char** variable = environ; *variable; ++variable) {
    std::string entry = *variable;
    bool dropped = false;
    for (const std::string& prefix : prefixes) dropped = dropped || entry.compare(0, prefix.size(), prefix) == 0;
    if (!dropped) kept.push_back(entry);
  }
  return kept;
}
