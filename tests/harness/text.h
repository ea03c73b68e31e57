// Text conversions for messages and files: the programs write UTF-8 records and UTF-16
// logs, GoogleTest prints UTF-8.
#pragma once

#include <string>
#include <vector>

// UTF-8 <-> UTF-16.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

// `lines` as UTF-8, one a line, for a failure message.
std::string Narrow(const std::vector<std::wstring>& lines);
