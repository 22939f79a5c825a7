#include "StateOption.h"

namespace ktr {
namespace {

constexpr const char* kChanges = "changes";
constexpr const char* kEvery = "every";

}  // namespace

void addStateOption(CLI::App& command, std::string& value) {
    value = kChanges;
    command
        .add_option("--state", value,
                    "with --json: \"changes\" writes the whole state on the first step and then what each step "
                    "changed; \"every\" writes the whole state on every step")
        ->check(CLI::IsMember({kChanges, kEvery}))
        ->capture_default_str();
}

StateWriting stateWriting(const std::string& value) {
    return value == kEvery ? StateWriting::Every : StateWriting::Changes;
}

}  // namespace ktr
