#include "engine/setup_options.h"

SetupOptions g_setup_options;
