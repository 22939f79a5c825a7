// `ktr log`: a client's log turned back into the timeline of the library's decisions and their reasons.
#ifndef KTRSDK_TOOLS_LOG_LOGCOMMAND_H
#define KTRSDK_TOOLS_LOG_LOGCOMMAND_H

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace ktr::log {

class LogCommand {
public:
    explicit LogCommand(CLI::App& program);

    bool chosen() const { return m_command->parsed(); }
    int run() const;

private:
    CLI::App* m_command = nullptr;
    std::vector<std::string> m_inputs;
    std::string m_prefix;
    bool m_explain = false;
    bool m_log = false;
    bool m_redact = false;
    std::string m_jsonPath;
    std::string m_csvPath;
    std::string m_htmlPath;
    std::string m_summaryPath;
    std::string m_plotPath;
    std::string m_scenarioPath;
    std::string m_libraryPath;
    std::string m_since;
    std::string m_until;
    std::vector<uint64_t> m_uids;
    std::string m_state;
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_LOGCOMMAND_H
