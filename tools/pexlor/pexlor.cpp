#include <cstdio>
int main(int argc, char** argv) { std::printf("pexlor: not built yet\n"); return 0; }
