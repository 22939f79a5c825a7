// A ktr subcommand: registered on the program when built, chosen by the command line, then run.
#ifndef KTRSDK_TOOLS_COMMON_CLI_COMMAND_H
#define KTRSDK_TOOLS_COMMON_CLI_COMMAND_H

#include <CLI/CLI.hpp>

#include <initializer_list>
#include <string>

#include "SharedOptions.h"

namespace ktr {

class Command {
public:
    virtual ~Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    // Whether the command line chose this subcommand.
    bool chosen() const { return m_command->parsed(); }
    // Runs it; returns the exit status. Throws InputError for bad input (exit 2).
    virtual int run() = 0;

protected:
    Command(CLI::App& program, const std::string& name, const std::string& description)
        : m_command(program.add_subcommand(name, description)) {}

    CLI::App& app() const { return *m_command; }
    // Adds the shared options this subcommand takes, bound to shared().
    void addShared(std::initializer_list<SharedOption> options) { addSharedOptions(*m_command, m_shared, options); }
    const SharedValues& shared() const { return m_shared; }
    // The library build to load: --lib, else the one beside ktr.
    std::string libraryPath() const;

private:
    CLI::App* m_command = nullptr;
    SharedValues m_shared;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_CLI_COMMAND_H
