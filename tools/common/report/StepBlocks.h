// A timeline's steps in an HTML report: data elements of kStepsPerBlock steps each, written as the
// timeline's JSON Lines write them (an array of the steps, deflated and in base64), the first step of every
// block with the whole state (so the page rebuilds the state at any step from its block alone). The page
// inflates and parses a block only when it shows one of its steps, and no block nears a browser's limit on
// the length of one string. The block being filled is held as text and written when full, so that a page
// can hold several timelines read at once.
#ifndef KTRSDK_TOOLS_COMMON_STEPBLOCKS_H
#define KTRSDK_TOOLS_COMMON_STEPBLOCKS_H

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "Timeline.h"

namespace ktr {

class StepBlocks {
public:
    static constexpr size_t kStepsPerBlock = 1000;

    // Block n is the element of id "ID-n".
    StepBlocks(std::ostream& out, std::string id) : m_out(out), m_id(std::move(id)) {}

    void write(const TimelineStep& step);
    // Writes the block being filled.
    void end();
    // Where the page finds the blocks: {"blocks": ID, "stepsPerBlock": kStepsPerBlock}.
    nlohmann::json json() const;

private:
    std::ostream& m_out;
    std::string m_id;
    size_t m_steps = 0;
    std::string m_block;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_STEPBLOCKS_H
