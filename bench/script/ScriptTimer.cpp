// Script benchmark driver: runs each installer named on the command line RUNS times, unattended,
// and prints medians side by side: the time from the installer's start to its script's first
// statement, the script's time per 1,000 loop iterations, and the whole run.
//   ScriptTimer.exe RUNS LABEL=INSTALLER...
// The scripts report through HKCU\Software\Velmora Script Bench: "First" (the first statement's
// time, in JavaScript milliseconds) and "Loop" (milliseconds per 1,000 iterations).
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {
const char kKey[] = "Software\\Velmora Script Bench";

// Milliseconds since 1970, the clock JScript's Date reads.
double NowMs() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  ULARGE_INTEGER t;
  t.LowPart = now.dwLowDateTime;
  t.HighPart = now.dwHighDateTime;
  return (t.QuadPart - 116444736000000000ull) / 10000.0;
}

double Reported(const char* name) {
  char text[64] = "";
  DWORD size = sizeof(text);
  if (RegGetValueA(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) return -1;
  return atof(text);
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Cell(double value) {
  if (value < 0)
    printf(" %12s |", "-");
  else
    printf(" %12.2f |", value);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: ScriptTimer RUNS LABEL=INSTALLER...\n");
    return 2;
  }
  int runs = atoi(argv[1]);
  printf("| %-44s | first stmt ms | 1,000 iter ms |  whole run ms |\n", "installer (median of runs)");
  printf("| %-44s | ------------: | ------------: | ------------: |\n", "---");
  struct Timings {
    std::string label, installer;
    std::vector<double> first, loop, whole;
  };
  std::vector<Timings> all;
  for (int i = 2; i < argc; ++i) {
    std::string labelled = argv[i];
    size_t equals = labelled.find('=');
    all.push_back(Timings{labelled.substr(0, equals), labelled.substr(equals + 1), {}, {}, {}});
  }
  // Round after round through all installers, so that a change in the machine's load falls on
  // every one alike.
  for (int run = 0; run < runs; ++run) {
    for (Timings& t : all) {
      RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
      std::string line = "\"" + t.installer + "\"";
      STARTUPINFOA startup = {};
      startup.cb = sizeof(startup);
      PROCESS_INFORMATION info = {};
      double start = NowMs();
      if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        fprintf(stderr, "cannot start %s\n", t.installer.c_str());
        return 1;
      }
      WaitForSingleObject(info.hProcess, 120000);
      double end = NowMs();
      CloseHandle(info.hThread);
      CloseHandle(info.hProcess);
      t.whole.push_back(end - start);
      double stamp = Reported("First");
      if (stamp >= 0) t.first.push_back(stamp - start);
      double perThousand = Reported("Loop");
      if (perThousand >= 0) t.loop.push_back(perThousand);
    }
  }
  for (const Timings& t : all) {
    printf("| %-44s |", t.label.c_str());
    Cell(Median(t.first));
    Cell(Median(t.loop));
    Cell(Median(t.whole));
    printf("\n");
  }
  RegDeleteTreeA(HKEY_CURRENT_USER, kKey);
  return 0;
}
