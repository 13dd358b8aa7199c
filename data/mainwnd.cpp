#include "data/mainwnd.h"

std::atomic<kv_hwnd> hmainwnd{0};
