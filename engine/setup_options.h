// The user's choices for one install run. Process-wide: the setup dialog fills them when
// Install is pressed (install_mode follows the mode radios at once) and the engine reads
// them; the licence viewer owns license_temp_path.
#pragma once

#include <windows.h>

#include "common/bounded_text.h"

// install_mode values.
constexpr BYTE INSTALL_MODE_RUN_ONCE = 0;
constexpr BYTE INSTALL_MODE_NORMAL = 1;

struct SetupOptions {
  wchar_t install_dir[kPathCapacity];
  BYTE install_mode;
  BYTE desktop_shortcut;      // nonzero = chosen
  BYTE startup_shortcut;
  BYTE programs_shortcut;
  BYTE launch_after_install;
  wchar_t license_temp_path[kPathCapacity];  // empty until the licence was extracted
};
extern SetupOptions g_setup_options;
