// A seeded generator of random meetings for the tools' tests.
#ifndef KTRSDK_TESTS_SUPPORT_RANDOMMEETING_H
#define KTRSDK_TESTS_SUPPORT_RANDOMMEETING_H

#include <initializer_list>
#include <random>
#include <vector>

#include "Scenario.h"

namespace ktr::testing {

// Random meetings over the values where the rules turn: device types, stream counts, bitrates at the
// class edges, estimates of every status, host tables that move the class edges.
class RandomMeeting {
public:
    using Record = ktr::Record;
    using User = ktr::User;

    explicit RandomMeeting(unsigned seed) : m_random(seed) {}

    ktr::Scenario make(int length) {
        ktr::Scenario scenario;
        scenario.name = "random";
        add("init", ktr::Init{kLocal, pick<int32_t>({0, 1, 4, 8})});
        for (int i = 0; i < length; ++i) {
            addRandomStep();
        }
        return scenario_with_steps(std::move(scenario));
    }

private:
    static constexpr uint64_t kLocal = 1;

    template <typename T>
    T pick(std::initializer_list<T> values) {
        std::uniform_int_distribution<size_t> index(0, values.size() - 1);
        return *(values.begin() + index(m_random));
    }
    int32_t bitrate() {
        return pick<int32_t>({0,      -1,     30720,  102400, 204800, 245759, 245760,  256000,  307200,  307201,
                              358400, 512000, 512001, 600000, 614400, 716800, 1024000, 1536000, 2097152, 3145728});
    }
    uint64_t uid() { return pick<uint64_t>({0, kLocal, 2, 3, 4, 5, 6}); }
    User user(std::initializer_list<uint16_t> deviceTypes) {
        return User{uid(), pick<uint16_t>(deviceTypes), uint16_t{0}, std::string()};
    }
    Record stream() {
        const int32_t b = bitrate();
        return Record{1,
                      0,
                      640,
                      480,
                      15,
                      b,
                      pick<int32_t>({0, b, b + 61440, 1024000}),
                      pick<int32_t>({0, 102400, 245760, 512000})};
    }
    void add(const char* name, ktr::Action action) {
        m_steps.push_back(ktr::Step{static_cast<int>(m_steps.size()), name, std::move(action)});
    }
    void addRandomStep() {
        std::uniform_int_distribution<int> kind(0, 13);
        switch (kind(m_random)) {
            case 0:
                add("addUser", ktr::AddUser{user({1, 4, 8})});
                break;
            case 1:
                add("removeUser", ktr::RemoveUser{user({1, 4, 8})});
                break;
            case 2: {
                std::vector<User> users;
                for (int n = pick<int>({0, 1, 2, 3, 4, 5}); n > 0; --n) {
                    users.push_back(user({1, 8}));
                }
                add("setUsers", ktr::SetUsers{users});
                break;
            }
            case 3:
            case 4: {
                std::vector<Record> streams;
                for (int n = pick<int>({0, 1, 2, 2, 2, 3}); n > 0; --n) {
                    streams.push_back(stream());
                }
                if (streams.size() >= 2 && pick<bool>({true, false})) {
                    streams[1].bitrate = streams[0].bitrate;  // equal bitrates: which one is upper or lower
                }
                add("peerReport", ktr::PeerReport{uid(), streams});
                break;
            }
            case 5:
                add("speaker", ktr::Speaker{pick<bool>({true, false}), uid()});
                break;
            case 6:
                add("sharing", ktr::Sharing{pick<bool>({true, false}), uid()});
                break;
            case 7:
                add("downloadNet",
                    ktr::NetEstimate{false, pick<int32_t>({0, 1, 2, 3, 4, 5, 6}), pick<int32_t>({85, 86, 95}),
                                     bitrate(), pick<int32_t>({0, 1000000})});
                break;
            case 8:
                add("definitions", ktr::Definitions{{Record{pick<int32_t>({1, 2}), 0, 640,
                                                            pick<int32_t>({180, 240, 360, 480, 720, 540}), 20,
                                                            bitrate(), bitrate(), bitrate()}}});
                break;
            case 9:
                add("clearPeerReports", ktr::ClearPeerReports{});
                break;
            case 10:
            case 11:
                add("download", ktr::AskDownload{1});
                break;
            case 12:
                add("hdld", ktr::AskHdLd{});
                break;
            default:
                add("upload", ktr::AskUpload{pick<int32_t>({1, 2})});
                break;
        }
    }
    ktr::Scenario scenario_with_steps(ktr::Scenario scenario) {
        scenario.steps = std::move(m_steps);
        return scenario;
    }

    std::mt19937 m_random;
    std::vector<ktr::Step> m_steps;
};

}  // namespace ktr::testing

#endif  // KTRSDK_TESTS_SUPPORT_RANDOMMEETING_H
