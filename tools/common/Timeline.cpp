#include "Timeline.h"

namespace ktr {

const char* choiceName(StreamChoice choice) {
    switch (choice) {
        case StreamChoice::Upper:
            return "upper";
        case StreamChoice::Lower:
            return "lower";
        case StreamChoice::Only:
            return "only";
        case StreamChoice::Nothing:
            return "none";
        case StreamChoice::Unknown:
            break;
    }
    return "unknown";
}

const char* definitionName(Definition definition) {
    switch (definition) {
        case Definition::High:
            return "high";
        case Definition::Low:
            return "low";
        case Definition::Unknown:
            break;
    }
    return "unknown";
}

}  // namespace ktr
