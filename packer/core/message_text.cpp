#include "packer/core/message_text.h"

std::string Quote(const std::string& text) { return "\"" + text + "\""; }
