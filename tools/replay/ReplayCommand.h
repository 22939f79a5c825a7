// `ktr replay`: a scenario through the library, with the reason behind every answer and the state
// after every step.
#ifndef KTRSDK_TOOLS_REPLAY_REPLAYCOMMAND_H
#define KTRSDK_TOOLS_REPLAY_REPLAYCOMMAND_H

#include <CLI/CLI.hpp>

#include <string>

namespace ktr::replay {

class ReplayCommand {
public:
    // Registers the subcommand and its options on the program.
    explicit ReplayCommand(CLI::App& program);

    bool chosen() const { return m_command->parsed(); }
    // Runs it; returns the exit status.
    int run() const;

private:
    int lint(const std::string& source, const std::vector<std::string>& warnings) const;

    CLI::App* m_command = nullptr;
    std::string m_scenarioPath;
    std::string m_libraryPath;
    std::string m_settingsPath;
    bool m_log = false;
    bool m_explain = false;
    bool m_lint = false;
    bool m_redact = false;
    std::string m_jsonPath;
    std::string m_csvPath;
    std::string m_logFilePath;
    std::string m_htmlPath;
    std::string m_state;
};

}  // namespace ktr::replay

#endif  // KTRSDK_TOOLS_REPLAY_REPLAYCOMMAND_H
