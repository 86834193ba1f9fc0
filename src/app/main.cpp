// Entry of quillon-run. The application object takes over here once it exists; until then the
// program only identifies itself.
#include <cstdio>

int main() {
    std::printf("quillon-run 2.10\n");
    return 0;
}
