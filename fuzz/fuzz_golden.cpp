// Runs the fuzz target on stored inputs with every call, answer and log line printed, for the golden
// files that pin the library's behaviour (tests/golden).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" void ktrsdkFuzzTraceTo(std::FILE* file);

int main(int argc, char** argv) {
    ktrsdkFuzzTraceTo(stdout);
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::string path = argv[i];
        std::printf("== %s\n", path.substr(path.rfind('/') + 1).c_str());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    return 0;
}
