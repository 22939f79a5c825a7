#ifndef KTRSDK_TOOLS_COMMON_NAMESUGGESTION_H
#define KTRSDK_TOOLS_COMMON_NAMESUGGESTION_H

#include <set>
#include <string>

namespace ktr {

// The tail of a message about a name that is not valid: `; did you mean "channel"? valid fields: channel,
// comment`. The nearest valid name is offered only when it is close enough to be a misspelling; the valid
// names, called kind ("fields", "steps"), are always listed.
std::string suggestName(const std::string& unknown, const std::set<std::string>& valid, const std::string& kind);

// For a missing name, "; \"given\" given: did you mean \"missing\"?" when one of the given names is close to
// it (an input in an older spelling); empty otherwise.
std::string suggestRenaming(const std::string& missing, const std::set<std::string>& given);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_NAMESUGGESTION_H
