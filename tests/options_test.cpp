// The shared option table: every subcommand declares a shared option with the table's help, a child's
// command line parses back to the values it was built from, and the values the table refuses.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "DiffCommand.h"
#include "LogCommand.h"
#include "OutputFiles.h"
#include "ReplayCommand.h"
#include "SharedOptions.h"
#include "SimCommand.h"
#include "support/TestFiles.h"

namespace ktr {
namespace {

using test_support::inputErrorOf;

// The program's subcommands, as ktr registers them.
class Program {
public:
    Program() : m_replay(m_app), m_sim(m_app), m_log(m_app), m_diff(m_app) {}
    std::vector<const CLI::App*> subcommands() const {
        std::vector<const CLI::App*> found;
        for (const CLI::App* command : m_app.get_subcommands([](const CLI::App*) { return true; })) {
            found.push_back(command);
        }
        return found;
    }

private:
    CLI::App m_app;
    replay::ReplayCommand m_replay;
    sim::SimCommand m_sim;
    log::LogCommand m_log;
    diff::DiffCommand m_diff;
};

const SharedOptionRow* tableEntry(const std::string& name) {
    for (const SharedOptionRow& row : sharedOptionRows()) {
        if (name == row.name) {
            return &row;
        }
    }
    return nullptr;
}

TEST(SharedOptions, EverySubcommandShowsTheTablesHelpForASharedOption) {
    const Program program;
    std::map<std::string, std::set<std::string>> takers;  // option name -> the subcommands that take it
    for (const CLI::App* command : program.subcommands()) {
        for (const CLI::Option* option : command->get_options()) {
            const std::string name = option->get_name(false, true);
            takers[name].insert(command->get_name());
            if (const SharedOptionRow* row = tableEntry(name)) {
                EXPECT_EQ(option->get_description(), row->help) << command->get_name() << " " << name;
                EXPECT_NE(command->help().find(row->help), std::string::npos) << command->get_name() << " " << name;
            }
        }
    }
    for (const auto& [name, commands] : takers) {
        if (commands.size() > 1 && name != "--help" && name.rfind("--", 0) == 0) {
            EXPECT_NE(tableEntry(name), nullptr)
                << name << " is declared by " << commands.size() << " subcommands but not in the table";
        }
    }
    EXPECT_EQ(takers.at("--plot").count("replay"), 1u) << "replay draws its timeline too";
}

TEST(SharedOptions, TheTableFollowsItsEnumeration) {
    for (const SharedOptionRow& row : sharedOptionRows()) {
        EXPECT_EQ(rowOf(row.id).name, std::string(row.name));
    }
}

// One value for one option, other than its default.
struct ValueCase {
    std::string name;
    SharedOption option;
    std::function<void(SharedValues&)> set;
};

std::string caseName(const ::testing::TestParamInfo<ValueCase>& info) {
    return info.param.name;
}

void PrintTo(const ValueCase& value, std::ostream* out) {
    *out << value.name;
}

class ChildCommandLine : public ::testing::TestWithParam<ValueCase> {};

// Parses arguments as a subcommand that takes every shared option does.
SharedValues parsed(const std::vector<std::string>& arguments) {
    CLI::App app;
    SharedValues values;
    for (const SharedOptionRow& row : sharedOptionRows()) {
        addSharedOptions(app, values, {row.id});
    }
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    app.parse(reversed);
    return values;
}

TEST_P(ChildCommandLine, ParsesBackToTheSameValues) {
    SharedValues values;
    GetParam().set(values);
    const std::vector<std::string> arguments = optionArguments(values);
    ASSERT_EQ(arguments.size(), 1u) << "one argument per option given";
    EXPECT_EQ(arguments[0].rfind(rowOf(GetParam().option).name, 0), 0u) << arguments[0];
    EXPECT_TRUE(sameValues(parsed(arguments), values)) << arguments[0];
}

// Values a child could misread: a path that starts with "-", a fraction, the largest seed.
INSTANTIATE_TEST_SUITE_P(
    EveryOption, ChildCommandLine,
    ::testing::Values(
        ValueCase{"lib", SharedOption::Library, [](SharedValues& v) { v.library = "-odd/lib.so"; }},
        ValueCase{"config", SharedOption::Settings, [](SharedValues& v) { v.settings = "a b.json"; }},
        ValueCase{"json", SharedOption::Json, [](SharedValues& v) { v.json = "-"; }},
        ValueCase{"csv", SharedOption::Csv, [](SharedValues& v) { v.csv = "t.csv"; }},
        ValueCase{"log_file", SharedOption::LogFile, [](SharedValues& v) { v.logFile = "x.log"; }},
        ValueCase{"html", SharedOption::Html, [](SharedValues& v) { v.html = "r.html"; }},
        ValueCase{"summary", SharedOption::Summary, [](SharedValues& v) { v.summary = "s.json"; }},
        ValueCase{"plot", SharedOption::Plot, [](SharedValues& v) { v.plot = "p.png"; }},
        ValueCase{"redact", SharedOption::Redact, [](SharedValues& v) { v.redact = true; }},
        ValueCase{"explain", SharedOption::Explain, [](SharedValues& v) { v.explain = true; }},
        ValueCase{"log", SharedOption::Log, [](SharedValues& v) { v.log = true; }},
        ValueCase{"state", SharedOption::State, [](SharedValues& v) { v.state = "every"; }},
        ValueCase{"jobs", SharedOption::Jobs, [](SharedValues& v) { v.jobs = 3; }},
        ValueCase{"timeout_none", SharedOption::Timeout, [](SharedValues& v) { v.timeout = "none"; }},
        ValueCase{"timeout", SharedOption::Timeout, [](SharedValues& v) { v.timeout = "2.5"; }},
        ValueCase{"duration", SharedOption::Duration, [](SharedValues& v) { v.durationS = 0.1; }},
        ValueCase{"traces", SharedOption::Traces, [](SharedValues& v) { v.traces = "dir"; }},
        ValueCase{"summary_only", SharedOption::SummaryOnly, [](SharedValues& v) { v.summaryOnly = true; }},
        ValueCase{"downlink", SharedOption::Downlink, [](SharedValues& v) { v.downlink = "constant:2mbps"; }},
        ValueCase{"uplink", SharedOption::Uplink, [](SharedValues& v) { v.uplink = "up.mahimahi"; }},
        ValueCase{"estimates", SharedOption::Estimates, [](SharedValues& v) { v.estimates = "e.csv"; }},
        ValueCase{"seed", SharedOption::Seed, [](SharedValues& v) { v.seed = 18446744073709551615u; }},
        ValueCase{"seed_zero", SharedOption::Seed, [](SharedValues& v) { v.seed = 0; }}),
    caseName);

TEST(ChildValues, InheritOnlyWhatARunOfItsOwnNeeds) {
    SharedValues parent;
    parent.library = "lib.so";
    parent.redact = true;
    parent.durationS = 30;
    parent.json = "t.jsonl";
    parent.jobs = 4;
    parent.timeout = "none";
    const SharedValues child = inheritedValues(parent);
    EXPECT_EQ(child.library, "lib.so");
    EXPECT_TRUE(child.redact);
    EXPECT_EQ(child.durationS, 30);
    EXPECT_EQ(child.json, "") << "a child's outputs are its parent's to choose";
    EXPECT_EQ(child.jobs, 0);
    EXPECT_EQ(child.timeout, "");
}

TEST(ChildValues, StandardInputCannotBePassedOn) {
    SharedValues values;
    values.settings = "-";
    EXPECT_EQ(inputErrorOf([&] { optionArguments(values); }),
              "--config -: a run of its own cannot read standard input; give a file");
    values.settings.clear();
    values.uplink = "-";
    EXPECT_EQ(inputErrorOf([&] { optionArguments(values); }),
              "--uplink -: a run of its own cannot read standard input; give a file");
}

struct RefusedCase {
    std::string name;
    std::vector<std::string> arguments;
};

void PrintTo(const RefusedCase& value, std::ostream* out) {
    *out << value.name;
}

class RefusedValue : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedValue, IsAUsageError) {
    EXPECT_THROW(parsed(GetParam().arguments), CLI::ValidationError);
}

INSTANTIATE_TEST_SUITE_P(
    ZeroNegativeOrUnreadable, RefusedValue,
    ::testing::Values(
        RefusedCase{"duration_zero", {"--duration", "0"}}, RefusedCase{"duration_negative", {"--duration", "-5"}},
        RefusedCase{"duration_nan", {"--duration", "nan"}}, RefusedCase{"duration_infinite", {"--duration", "inf"}},
        RefusedCase{"duration_words", {"--duration", "10s"}}, RefusedCase{"jobs_zero", {"--jobs", "0"}},
        RefusedCase{"jobs_negative", {"--jobs", "-2"}}, RefusedCase{"jobs_fraction", {"--jobs", "1.5"}},
        RefusedCase{"jobs_too_many", {"--jobs", "257"}}, RefusedCase{"timeout_zero", {"--timeout", "0"}},
        RefusedCase{"timeout_negative", {"--timeout", "-1"}},
        RefusedCase{"timeout_beyond_a_month", {"--timeout", "2592001"}},
        RefusedCase{"timeout_other_word", {"--timeout", "never"}},
        RefusedCase{"plot_to_standard_output", {"--plot", "-"}}, RefusedCase{"state_unknown", {"--state", "all"}}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

struct TimeLimitCase {
    std::string name;
    std::vector<std::string> arguments;
    double seconds;  // with a default of 60
};

void PrintTo(const TimeLimitCase& value, std::ostream* out) {
    *out << value.name;
}

class TimeLimit : public ::testing::TestWithParam<TimeLimitCase> {};

TEST_P(TimeLimit, IsTheDefaultTheGivenSecondsOrNone) {
    EXPECT_EQ(timeLimitSeconds(parsed(GetParam().arguments), 60), GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(Timeouts, TimeLimit,
                         ::testing::Values(TimeLimitCase{"not_given", {}, 60},
                                           TimeLimitCase{"given", {"--timeout", "0.5"}, 0.5},
                                           TimeLimitCase{"none", {"--timeout", "none"}, 0}),
                         [](const ::testing::TestParamInfo<TimeLimitCase>& info) { return info.param.name; });

TEST(OutputFiles, TwoOutputsOnStandardOutputAreRefused) {
    OutputFiles files;
    EXPECT_EQ(&files.open("-"), &std::cout);
    EXPECT_TRUE(files.standardOutputTaken());
    EXPECT_EQ(inputErrorOf([&] { files.open("-"); }), "-: two outputs cannot both go to standard output");
}

}  // namespace
}  // namespace ktr
