// ktr_generate_traces DIR: writes the bundled synthetic traces (examples/traces) into DIR. Exit status: 0
// done, 2 bad usage or a file that cannot be written.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "TraceGenerator.h"

namespace {

constexpr int kBadInput = 2;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: ktr_generate_traces DIR (writes the bundled synthetic traces into DIR)\n";
        return kBadInput;
    }
    const std::filesystem::path folder = argv[1];
    for (const ktr::sim::BundledTrace& bundled : ktr::sim::bundledTraces()) {
        const std::filesystem::path path = folder / bundled.fileName;
        std::ofstream file(path, std::ios::binary);
        file << bundled.text;
        file.close();
        if (!file) {
            std::cerr << path.string() << ": cannot be written\n";
            return kBadInput;
        }
        std::cout << path.string() << "\n";
    }
    return 0;
}
