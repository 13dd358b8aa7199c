#include <cstdio>
int main(int argc, char** argv) { std::printf("tindral: not built yet\n"); return 0; }
