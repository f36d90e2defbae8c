#include "VirtualDisplay.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool VirtualDisplay::Start(std::string* error) {
  int channel[2];
  if (pipe(channel) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  Subprocess::Options options;
  options.environment = EnvironmentWithout({"DISPLAY=", "XAUTHORITY="});
  options.passFd = channel[1];
  // -displayfd: the server takes the first free display and writes its number to descriptor 3.
  bool started = server_.Start({"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                               options, error);
  close(channel[1]);
  std::string number;
  for (int waited = 0; started && waited < 20000 && number.find('\n') == std::string::npos; waited += 100) {
    pollfd ready = {channel[0], POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    char chunk[16];
    ssize_t n = read(channel[0], chunk, sizeof(chunk));
    if (n <= 0) break;
    number.append(chunk, size_t(n));
  }
  close(channel[0]);
  if (!started) {
    *error += " (Debian's xvfb package)";
    return false;
  }
  if (number.find('\n') == std::string::npos) {
    server_.Kill();
    *error = "Xvfb did not start a display";
    return false;
  }
  name_ = ":" + number.substr(0, number.find('\n'));
  return true;
}
