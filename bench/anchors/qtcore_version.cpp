// The smallest program on QtCore: what `dravmer-cli --version` is measured against.
#include <QtGlobal>
#include <cstdio>

int main() {
    std::printf("QtCore %s\n", qVersion());
    return 0;
}
