// Text conversions for messages and files: the programs write UTF-8 records and UTF-16
// logs, GoogleTest prints UTF-8. The conversions are the packing tool's own (Utf8, Utf16).
#pragma once

#include <string>
#include <vector>

#include "packer/windows/windows_text.h"

// `lines` as UTF-8, one a line, for a failure message.
std::string Utf8Lines(const std::vector<std::wstring>& lines);
