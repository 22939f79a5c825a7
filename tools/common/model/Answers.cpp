#include "Answers.h"

#include <algorithm>

#include "Overloaded.h"

namespace ktr {
namespace {

template <class T>
Answer readAs(FieldReader& in, const char* key, Nulls nulls) {
    T answer{};
    codec::readValue(in, key, answer, nulls);
    return answer;
}

}  // namespace

const PeerRequest* DownloadAnswer::request(uint64_t uid) const {
    if (!records) {
        return nullptr;
    }
    const auto found =
        std::find_if(records->begin(), records->end(), [uid](const PeerRequest& r) { return r.uid == uid; });
    return found == records->end() ? nullptr : &*found;
}

void writeAnswer(JsonOut& out, const Answer& answer) {
    std::visit(Overloaded{[&](const std::monostate&) { out.null(); },
                          [&](const auto& alternative) { codec::writeValue(out, alternative); }},
               answer);
}

Answer readAnswer(const Action& action, FieldReader& in, const char* key, Nulls nulls) {
    if (!isQuestion(action)) {
        if (!in.isNullOrAbsent(key)) {
            in.fail(key, "expected null: an event has no answer");
        }
        return std::monostate{};
    }
    return std::visit(Overloaded{
                          [&](const AskUpload&) { return readAs<UploadAnswer>(in, key, nulls); },
                          [&](const AskDownload&) { return readAs<DownloadAnswer>(in, key, nulls); },
                          [&](const AskHdLd&) { return readAs<HdLdAnswer>(in, key, nulls); },
                          [&](const AskDefinition&) { return readAs<DefinitionAnswer>(in, key, nulls); },
                          [&](const auto&) { return Answer{}; },
                      },
                      action);
}

bool operator==(const Answer& a, const Answer& b) {
    if (a.index() != b.index()) {
        return false;
    }
    std::string textA;
    std::string textB;
    JsonOut outA(textA);
    JsonOut outB(textB);
    writeAnswer(outA, a);
    writeAnswer(outB, b);
    return textA == textB;
}

}  // namespace ktr
