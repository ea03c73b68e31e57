#include "engine/installed_paths.h"

#include "common/bounded_text.h"
#include "engine/setup_options.h"

bool BuildInstalledPath(const wchar_t* name, wchar_t* out) {
  if (CopyText(out, kPathCapacity, g_setup_options.install_dir) &&
      AppendText(out, kPathCapacity, name)) {
    return true;
  }
  out[0] = 0;
  return false;
}
