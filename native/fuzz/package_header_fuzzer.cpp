// libFuzzer entry: any bytes as the start of a file given to the package header reader.
#include "package_checks.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = tarnvel::PackageInputProblem({data, size});
    if (!problem.empty()) {
        std::fprintf(stderr, "package header reader: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
