#pragma once
#include <string>

#include "Subprocess.h"

// An X server of its own (Xvfb) on a display number it picks itself, so that windows an
// installer opens never reach the user's screen. Ended when dropped.
class VirtualDisplay {
 public:
  // False with *error saying why (Xvfb missing, or it did not start within 20 s).
  bool Start(std::string* error);
  // ":N", once started.
  const std::string& Name() const { return name_; }

 private:
  Subprocess server_;
  std::string name_;
};
