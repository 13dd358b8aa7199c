#include "data/mainwnd.h"

std::atomic<kv_hwnd> hmainwnd{0};
std::atomic<int> g_program_exiting{0};
