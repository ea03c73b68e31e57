// Which shortcuts an uninstall may remove: a shell link in the desktop, Startup or Programs
// folder goes only while it still leads into this installation. Another installation, of
// this product or another, may have put a link of the same name there since.
#pragma once

#include <windows.h>

// Whether the shell link whose file is open for reading in `link` (read from its start)
// leads to a target below `folder` (an installation folder in normal form, no trailing
// backslash), compared in the long normal form of both. The link is read as its bytes
// stand, never resolved. A link that cannot be read leads nowhere: false.
bool LinkLeadsInto(HANDLE link, const wchar_t* folder);
