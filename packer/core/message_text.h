// How the packing tool's messages show what they name, the same on every host.
#pragma once

#include <string>

// `text` between double quotes, as every message shows a name, a path or a value, so that
// leading and trailing spaces stay visible.
std::string Quote(const std::string& text);
