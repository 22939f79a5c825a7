// The log reader's loop over a whole file, timed: prints the lines read, the library lines found and the
// throughput. tools/log_bench.sh writes the log and compares this with grep on the same file.
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "LogReader.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LOG\n", argv[0]);
        return 2;
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        ktr::log::LogReader reader(argv[1]);
        ktr::log::LibraryLine line;
        while (reader.next(line)) {
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double megabytes = static_cast<double>(std::filesystem::file_size(argv[1])) / (1024.0 * 1024.0);
        const auto& counts = reader.counts();
        std::printf("lines %llu library %llu timed %llu other %llu unknown %llu seconds %.3f MiB/s %.1f\n",
                    static_cast<unsigned long long>(counts.lines), static_cast<unsigned long long>(counts.library),
                    static_cast<unsigned long long>(counts.timed), static_cast<unsigned long long>(counts.other),
                    static_cast<unsigned long long>(counts.unknownLibrary), seconds, megabytes / seconds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
