// `ktr replay`: a scenario through the library, with the reason behind every answer and the state
// after every step.
#ifndef KTRSDK_TOOLS_REPLAY_REPLAYCOMMAND_H
#define KTRSDK_TOOLS_REPLAY_REPLAYCOMMAND_H

#include <string>
#include <vector>

#include "Command.h"

namespace ktr::replay {

class ReplayCommand : public Command {
public:
    // Registers the subcommand and its options on the program.
    explicit ReplayCommand(CLI::App& program);

    int run() override;

private:
    int lint(const std::string& source, const std::vector<std::string>& warnings) const;

    std::string m_scenarioPath;
    std::string m_callsPath;
    bool m_lint = false;
};

}  // namespace ktr::replay

#endif  // KTRSDK_TOOLS_REPLAY_REPLAYCOMMAND_H
