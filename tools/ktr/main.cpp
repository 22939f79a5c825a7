// ktr: understand and evaluate the library's policy. Exit status: 0 done, 1 a finding the command exists
// to report, 2 bad input or usage.
#include <CLI/CLI.hpp>

#include <iostream>
#include <system_error>

#include "DiffCommand.h"
#include "InputFile.h"
#include "LogCommand.h"
#include "ReplayCommand.h"
#include "SdkLibrary.h"
#include "SimCommand.h"

namespace {

constexpr int kBadInput = 2;

}  // namespace

int main(int argc, char** argv) {
    CLI::App program{"ktr: see what the ktrsdk policy decides, and why"};
    program.require_subcommand(1);
    ktr::replay::ReplayCommand replay(program);
    ktr::sim::SimCommand sim(program);
    ktr::log::LogCommand log(program);
    ktr::diff::DiffCommand diff(program);
    try {
        program.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = program.exit(error);
        return status == 0 ? 0 : kBadInput;
    }
    try {
        if (log.chosen()) {
            return log.run();
        }
        if (diff.chosen()) {
            return diff.run();
        }
        return sim.chosen() ? sim.run() : replay.run();
    } catch (const ktr::InputError& error) {
        std::cerr << error.what() << "\n";
    } catch (const ktr::LibraryError& error) {
        std::cerr << error.what() << "\n";
    } catch (const std::system_error& error) {
        std::cerr << "ktr: " << error.what() << "\n";  // the system refused a pipe, a process or a wait
    }
    return kBadInput;
}
