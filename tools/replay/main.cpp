// ktr-replay: replays a conference scenario through the library and shows what the policy decides.
#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

#include "DefaultScenario.h"
#include "Replayer.h"
#include "Report.h"
#include "Scenario.h"

int main(int argc, char** argv) {
    CLI::App app{"Replays a conference scenario (JSON) through ktrsdk and prints the upload and download decisions."};
    std::string scenarioPath;
    bool withLog = false;
    std::string csvPath;
    app.add_option("scenario", scenarioPath, "scenario file; the bundled team meeting when omitted")
        ->check(CLI::ExistingFile);
    app.add_flag("--log", withLog, "show the library's log lines under the step that produced them");
    app.add_option("--csv", csvPath, "also write the decisions as a CSV timeline to this file");
    CLI11_PARSE(app, argc, argv);

    try {
        std::string text = replay::kDefaultScenario;
        std::string name = "bundled team meeting";
        if (!scenarioPath.empty()) {
            std::ifstream file(scenarioPath);
            std::ostringstream contents;
            contents << file.rdbuf();
            if (!file) {
                std::cerr << scenarioPath << ": cannot be read\n";
                return 1;
            }
            text = contents.str();
            name = scenarioPath;
        }
        const ktr::Scenario scenario = ktr::parseScenario(text, name);
        const std::vector<replay::StepOutcome> outcomes = replay::replayScenario(scenario);
        replay::printReport(std::cout, scenario.name, outcomes, withLog);
        if (!csvPath.empty()) {
            std::ofstream csv(csvPath);
            replay::writeCsv(csv, outcomes);
            if (!csv) {
                std::cerr << csvPath << ": cannot be written\n";
                return 1;
            }
        }
    } catch (const ktr::ScenarioError& error) {
        std::cerr << error.what() << "\n";
        return 2;
    }
    return 0;
}
