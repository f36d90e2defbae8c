#include "FolderSecurity.h"

#include <sddl.h>

#include "OwnedHandle.h"
#include "WideText.h"

namespace FolderSecurity {
namespace {
// Full control for the system and the administrators, read and execute for users; protected
// from inheritance, handed on to everything inside.
const char kProtectedRules[] = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const char kPrivateRules[] = "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;";
}  // namespace

Text UserSid() {
  KernelObject token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return Text();
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } info;
  DWORD size = 0;
  char* text = nullptr;
  if (!GetTokenInformation(token.Get(), TokenUser, &info, sizeof(info), &size) ||
      !ConvertSidToStringSidA(info.user.User.Sid, &text))
    return Text();
  Text sid(text);
  LocalFree(text);
  return sid;
}

PSECURITY_DESCRIPTOR Describe(Kind kind) {
  Text sddl(kind == kProtected ? kProtectedRules : kPrivateRules);
  if (kind == kPrivate) {
    Text sid = UserSid();
    if (sid.Empty() || !sddl.Append(sid) || !sddl.Append(")")) return nullptr;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.CStr(), SDDL_REVISION_1, &descriptor, nullptr))
    return nullptr;
  return descriptor;
}

bool Create(const Text& path, Kind kind) {
  PSECURITY_DESCRIPTOR descriptor = Describe(kind);
  if (!descriptor) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  BOOL created = CreateDirectoryW(WideText(path), &attributes);
  DWORD error = GetLastError();
  LocalFree(descriptor);
  SetLastError(error);
  return created != 0;
}

bool IsElevated() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators))
    return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != 0;
}

}  // namespace FolderSecurity
