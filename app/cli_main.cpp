// tesvano-cli: the console front end.
#include <cstdio>

int main() {
    std::printf("Tesvano V2.0.9_20251119\n");
    return 0;
}
