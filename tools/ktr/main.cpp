// ktr: understand and evaluate the library's policy. Exit status: 0 done, 1 a finding the command exists
// to report, 2 bad input or usage.
#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <system_error>
#include <vector>

#include "Command.h"
#include "DiffCommand.h"
#include "InputFile.h"
#include "LogCommand.h"
#include "ProvenanceOf.h"
#include "ReplayCommand.h"
#include "SdkLibrary.h"
#include "SimCommand.h"

namespace {

constexpr int kBadInput = 2;

// ktr's version and the identity of the library build it loads by default.
int printVersion() {
    fmt::print("ktr {}\n", ktr::ktrVersion());
    const ktr::SdkLibrary library(ktr::SdkLibrary::defaultPath());
    const ktr::Provenance provenance = ktr::provenanceOf(library, "");
    fmt::print("library: {}\nsoname: {}\nsha256: {}\n", provenance.library.path, provenance.librarySoname,
               provenance.library.sha256);
    return 0;
}

int run(const std::vector<std::unique_ptr<ktr::Command>>& commands, bool version) {
    if (version) {
        return printVersion();
    }
    for (const auto& command : commands) {
        if (command->chosen()) {
            return command->run();
        }
    }
    return kBadInput;  // the parser requires a subcommand
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App program{"ktr: see what the ktrsdk policy decides, and why"};
    bool version = false;
    program.add_flag("--version", version, "print ktr's version and the default library's path, soname and SHA-256");
    std::vector<std::unique_ptr<ktr::Command>> commands;
    commands.push_back(std::make_unique<ktr::replay::ReplayCommand>(program));
    commands.push_back(std::make_unique<ktr::sim::SimCommand>(program));
    commands.push_back(std::make_unique<ktr::log::LogCommand>(program));
    commands.push_back(std::make_unique<ktr::diff::DiffCommand>(program));
    try {
        program.parse(argc, argv);
        if (!version && program.get_subcommands().empty()) {
            throw CLI::RequiredError("A subcommand");
        }
    } catch (const CLI::ParseError& error) {
        const int status = program.exit(error);
        return status == 0 ? 0 : kBadInput;
    }
    try {
        return run(commands, version);
    } catch (const ktr::InputError& error) {
        std::cerr << error.what() << "\n";
    } catch (const ktr::LibraryError& error) {
        std::cerr << error.what() << "\n";
    } catch (const std::system_error& error) {
        std::cerr << "ktr: " << error.what() << "\n";  // the system refused a pipe, a process or a wait
    }
    return kBadInput;
}
