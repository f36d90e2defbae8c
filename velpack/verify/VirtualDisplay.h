#pragma once
#include <string>

#include "Subprocess.h"

// An X server of its own (Xvfb) on a display number it picks itself, so that windows an
// installer opens never reach the user's screen. Ended when dropped: asked first, so that it
// removes its socket and lock file.
class VirtualDisplay {
 public:
  VirtualDisplay() = default;
  ~VirtualDisplay() { server_.Stop(5); }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  // False with *error saying why (Xvfb missing, or it did not start within 20 s).
  bool Start(std::string* error);
  // ":N", once started.
  const std::string& Name() const { return name_; }

 private:
  Subprocess server_;
  std::string name_;
};
