#include "ScriptHost.h"

// Scripts are not run yet: the host comes with the scripting engine support.
HRESULT ScriptHost::RunScript(const Text&, const Text&, const wchar_t*, IInstallerObject*) { return E_NOTIMPL; }
