#pragma once
#include <stdint.h>

#include "Text.h"

// The lines of the install log that /LOG=FILE asks for: one line per action with its outcome,
// each stamped with the time of day, so an administrator can follow a run and see where it
// stopped.
namespace InstallLogText {

struct Time {
  uint32_t year, month, day, hour, minute, second;
};

// "hh:mm:ss text" and CR LF; line breaks and zero bytes inside text become blanks, so that one
// entry stays one line.
Text Line(const Time& time, const Text& text);
// "ok      action", or for a failure "FAILED  action: error N, message" (N in hexadecimal when
// it is an HRESULT); message is the system's text for the error, trailing line breaks dropped.
Text Outcome(const Text& action, uint32_t error, const Text& message);
// An error as people look it up: a Windows error code in decimal, an HRESULT in hexadecimal.
Text ErrorNumber(uint32_t error);
// "yyyy-mm-dd hh:mm:ss".
Text DateTime(const Time& time);

}  // namespace InstallLogText
