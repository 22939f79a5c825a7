// The library's answers to the host's questions, as far as their source shows them: a replay knows every
// field; a client's log shows no frame rate and no change flag, and sometimes no record at all.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_ANSWERS_H
#define KTRSDK_TOOLS_COMMON_MODEL_ANSWERS_H

#include <cstdint>
#include <set>
#include <variant>
#include <vector>

#include "Actions.h"
#include "FieldCodec.h"
#include "Records.h"

namespace ktr {

// adjustULPolicy: the camera streams (ranked in dft) or the share stream, and the change flag.
struct UploadAnswer {
    int32_t channel = 1;
    Known<bool> changed = false;
    Known<std::vector<Record>> records = std::vector<Record>();

    template <class Visit>
    static void fields(Visit& visit) {
        visit("channel", &UploadAnswer::channel);
        visit("changed", &UploadAnswer::changed);
        visit("records", &UploadAnswer::records);
    }
};

// One select request of a download answer: the record asked of peer uid.
struct PeerRequest : Record {
    uint64_t uid = 0;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("uid", &PeerRequest::uid);
        Record::fields(visit);
    }
};

// adjustDLPolicy: the select requests, in ascending uid, and the change flag.
struct DownloadAnswer {
    Known<bool> changed = false;
    Known<std::vector<PeerRequest>> records = std::vector<PeerRequest>();

    template <class Visit>
    static void fields(Visit& visit) {
        visit("changed", &DownloadAnswer::changed);
        visit("records", &DownloadAnswer::records);
    }
    // The request for uid, if the answer holds one.
    const PeerRequest* request(uint64_t uid) const;
};

// getHDUids: the peers received in high and in low definition.
struct HdLdAnswer {
    Known<std::set<uint64_t>> hd = std::set<uint64_t>();
    Known<std::set<uint64_t>> ld = std::set<uint64_t>();

    template <class Visit>
    static void fields(Visit& visit) {
        visit("hd", &HdLdAnswer::hd);
        visit("ld", &HdLdAnswer::ld);
    }
};

// getDftInfoByBitrate: the table's record for the bitrate, as a list of one.
struct DefinitionAnswer {
    Known<std::vector<Record>> records = std::vector<Record>(1);

    template <class Visit>
    static void fields(Visit& visit) {
        visit("records", &DefinitionAnswer::records);
    }
};

// Events have no answer.
using Answer = std::variant<std::monostate, UploadAnswer, DownloadAnswer, HdLdAnswer, DefinitionAnswer>;

// The answer as an object, or null for an event.
void writeAnswer(JsonOut& out, const Answer& answer);
// The answer to action from the "answer" field of in (null for an event).
Answer readAnswer(const Action& action, FieldReader& in, const char* key, Nulls nulls);

bool operator==(const Answer& a, const Answer& b);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_ANSWERS_H
