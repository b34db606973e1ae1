// A program with the crash handler that lets a C++ exception go uncaught, on its main thread or
// (with the argument "thread") on another one.
#include "app/mini_dumper.h"

#include <cstring>
#include <stdexcept>
#include <thread>

int main(int argc, char** argv) {
    static tarnvel::MiniDumper dumper;
    if (argc > 1 && std::strcmp(argv[1], "thread") == 0) {
        std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
        return 1;
    }
    throw std::runtime_error("nobody catches this");
}
