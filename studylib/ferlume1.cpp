// Ferlume1 study library: exported entry points (plain C names).
extern "C" __attribute__((visibility("default"))) int getVersion(void) { return 1; }
