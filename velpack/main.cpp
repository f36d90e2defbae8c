#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"

namespace {
void Usage() {
  std::fputs(
      "usage:\n"
      "  velpack build MANIFEST -o OUT [--stub STUB] [--architecture x86|x64]\n"
      "  velpack pack --stub STUB -o OUT [--stored NAME=FILE] [--compressed NAME=FILE] [--solid NAME=FILE] ...\n"
      "  velpack list INSTALLER\n"
      "  velpack extract INSTALLER NAME\n"
      "  velpack sign INSTALLER --cert CERT --key KEY [--timestamp URL] [--password-file FILE]\n"
      "  velpack verify INSTALLER [--upgrade-from OLD_INSTALLER] [--json FILE] [--timeout SECONDS] [--keep DIR]\n",
      stderr);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  std::string command = argv[1];
  if (command == "build") return BuildCommand(args);
  if (command == "pack") return PackCommand(args);
  if (command == "list") return ListCommand(args);
  if (command == "extract") return ExtractCommand(args);
  if (command == "sign") return SignCommand(args);
  if (command == "verify") return VerifyCommand(args);
  Usage();
  return 2;
}
