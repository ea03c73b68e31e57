// The packing tool's name in its messages and its version. The same portable sources build
// `pack.exe` for Windows and `pack` for a Linux host; each names itself as it is called.
#pragma once

#ifdef _WIN32
#define PACK_TOOL_NAME "pack.exe"
#else
#define PACK_TOOL_NAME "pack"
#endif

#define PACK_VERSION "1.1.0"
