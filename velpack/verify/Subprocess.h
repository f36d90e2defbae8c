#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

// A program started in a process group of its own, so that it and whatever it starts can be
// ended together. Ended (the whole group) when dropped while it still runs.
class Subprocess {
 public:
  struct Options {
    std::vector<std::string> environment;  // "NAME=value" each; the whole environment
    std::string output;                    // file that takes standard output and error (appended)
    int passFd = -1;                       // a descriptor the program gets as descriptor 3
  };

  Subprocess() = default;
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  // Starts argv[0], looked up on the PATH, with standard input from /dev/null. False with
  // *error naming the program and why.
  bool Start(const std::vector<std::string>& argv, const Options& options, std::string* error);
  // Waits up to seconds for the program to end; false when it still runs (or, when
  // interruptible, once an interruption came).
  bool Wait(double seconds, bool interruptible = true);
  // The exit status once it has ended: its exit code, or 128 + the signal that ended it.
  int ExitCode() const { return exitCode_; }
  // Ends the program's whole process group.
  void Kill();
  // Asks the program's process group to end (SIGTERM), so that it can tidy up after itself;
  // ends it when it still runs after seconds.
  void Stop(double seconds);

  // From then on SIGINT, SIGTERM and SIGHUP end no process at once: Wait returns at once, and
  // Interrupted tells, so that the caller can end its programs and tidy up. SIGPIPE is ignored,
  // so that a reader of the output that goes away fails a write instead of ending this process;
  // the programs started still get it as usual.
  static void CatchInterruptions();
  static bool Interrupted();

 private:
  pid_t pid_ = -1;
  int exitCode_ = -1;
};

// The environment of this process without the variables whose names start with one of prefixes.
std::vector<std::string> EnvironmentWithout(const std::vector<std::string>& prefixes);
