#include <malloc.h>

#include <iostream>

#include "cli/cli.h"

int main(int argc, char** argv) {
    // Large buffers (a device's records on their way in or out of the archive) always come
    // from the system and go back to it when freed, instead of settling in the heap.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    std::vector<std::string> args(argv + 1, argv + argc);
    return dravmer::cli::RunCli(args, std::cout, std::cerr);
}
