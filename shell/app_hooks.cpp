// The shell's calls into separately built modules; all empty until those
// modules set them.
#include "shell/app_hooks.h"

shell_hooks g_shell_hooks;
