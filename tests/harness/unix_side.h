// Acting as another user's process would on the Unix side of Wine: renaming a folder that
// a Windows process holds (Wine enforces share modes between Windows processes only),
// making symbolic links, pipes and hard links that Windows programs cannot make here.
#pragma once

#include <string>

// The Unix path of the Windows path `path` (Wine's own mapping), or "" when there is none.
std::string UnixPath(const std::wstring& path);

// Runs `script` with /bin/sh on the Unix side and waits until it has run to its end, up to
// `timeout_ms`. Returns false when it could not be started or did not finish in time.
bool RunUnixScript(const std::string& script, unsigned timeout_ms = 20000);

// Quotes `text` for /bin/sh.
std::string ShellQuoted(const std::string& text);
