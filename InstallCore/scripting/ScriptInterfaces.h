#pragma once
// The Active Scripting interfaces. Their identifiers that mingw's libuuid lacks are defined in
// ScriptInterfaces.cpp; the parse and debug interfaces are those of the build's architecture.
#include <windows.h>
#include <activscp.h>
#include <activdbg.h>
