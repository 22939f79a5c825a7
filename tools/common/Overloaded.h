#ifndef KTRSDK_TOOLS_COMMON_OVERLOADED_H
#define KTRSDK_TOOLS_COMMON_OVERLOADED_H

namespace ktr {

// One visitor for std::visit out of several lambdas, one per alternative.
template <class... Visitors>
struct Overloaded : Visitors... {
    using Visitors::operator()...;
};
template <class... Visitors>
Overloaded(Visitors...) -> Overloaded<Visitors...>;

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_OVERLOADED_H
