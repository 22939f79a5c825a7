// `ktr log`: a client's log turned back into the timeline of the library's decisions and their reasons.
#ifndef KTRSDK_TOOLS_LOG_LOGCOMMAND_H
#define KTRSDK_TOOLS_LOG_LOGCOMMAND_H

#include <cstdint>
#include <string>
#include <vector>

#include "Command.h"

namespace ktr::log {

class LogCommand : public ktr::Command {
public:
    explicit LogCommand(CLI::App& program);

    int run() override;

private:
    std::vector<std::string> m_inputs;
    std::string m_prefix;
    std::string m_scenarioPath;
    std::string m_since;
    std::string m_until;
    std::vector<uint64_t> m_uids;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LOGCOMMAND_H
