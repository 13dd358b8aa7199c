// Release functions for message payloads allocated with malloc.
#include "platform/messages.h"

#include <stdlib.h>

void kv_release_free_lparam(unsigned, kv_wparam, kv_lparam lparam) {
  free((void *)lparam);
}
void kv_release_free_wparam(unsigned, kv_wparam wparam, kv_lparam) {
  free((void *)wparam);
}
