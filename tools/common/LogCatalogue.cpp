#include "LogCatalogue.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "LogLineMatcher.h"
#include "LogPattern.h"

namespace ktr {
namespace {

// The formats are copied from the library's sources; the catalogue test checks them against those.
std::vector<LogFormat> buildCatalogue() {
    return {
        {"mgr.init",
         LogLevel::Info,
         "KTRMgr::init",
         "[%s]: ktr init, uid=%llu, dt=%d",
         {"uid", "dt"},
         "the local user is {uid} on device type {dt}: the camera's scene default, the 480P floor of a single stream "
         "(type 4) and the lower stream for new peers (type 1) follow from it"},
        {"mgr.addUser",
         LogLevel::Info,
         "KTRMgr::addUser",
         "[%s]: ktr add user, uid=%llu, dt=%d",
         {"uid", "dt"},
         "user {uid} on device type {dt} joins a meeting that already has 15 or more remote users (smaller meetings "
         "log no joins): it counts toward the meeting size that sets the camera's scene default"},
        {"mgr.removeUser",
         LogLevel::Info,
         "KTRMgr::removeUser",
         "[%s]: ktr remove user, uid=%llu, dt=%d",
         {"uid", "dt"},
         "user {uid} on device type {dt} leaves a meeting of 15 or more remote users: its stream report and its "
         "download choice are dropped"},
        {"mgr.setSharing",
         LogLevel::Info,
         "KTRMgr::setSharing",
         "[%s]: ktr set sharing, sharing=%d, uid=%llu",
         {"sharing", "uid"},
         "sharing={sharing} (1 on, 0 off) for user {uid}: while anyone shares, the camera's scene default drops on "
         "device types 1, 4 and 8 and peers reported again stay on their lower stream; while the local user shares, "
         "the camera publishes at most one stream"},
        {"mgr.setSpeaker",
         LogLevel::Info,
         "KTRMgr::setSpeaker",
         "[%s]: ktr set speaker, speaker=%d, uid=%llu",
         {"speaker", "uid"},
         "speaker={speaker} (1 speaking, 0 not) for user {uid}: a speaking local user gets a higher camera default and "
         "the 480P floor, another speaker lowers the camera default, and the download adjustment raises {uid} first "
         "and cuts it last even after speaker=0"},
        {"mgr.addSelectReq",
         LogLevel::Info,
         "KTRMgr::addSelectReq",
         "[%s]: ktr add video select, widht=%d, height=%d, fps=%d, bitrate=%d",
         {"widht", "height", "fps", "bitrate"},
         "a subscriber asks for the local camera at {widht}x{height}, {fps} fps, {bitrate} bps: only the bitrate "
         "counts; it is kept between the 240P minimum and the 720P maximum and merged with the other requests at the "
         "next upload decision"},
        {"mgr.addPeerReport.self",
         LogLevel::Warning,
         "KTRMgr::addPeerReport",
         "[%s]: can not add myself as a peer, uid=%llu",
         {"uid"},
         "the host reported the local user {uid} as a remote peer: the report is ignored"},
        {"mgr.addPeerReport.stream",
         LogLevel::Info,
         "KTRMgr::addPeerReport",
         "[%s]: krt add peer report, peer=%llu, width=%d, height=%d, bitrate=%d",
         {"peer", "width", "height", "bitrate"},
         "peer {peer} publishes a {width}x{height} stream at {bitrate} bps (one line per stream): the report is "
         "stored, and for a user in the received-users list the download choice is made again"},
        {"net.dump",
         LogLevel::Info,
         "KTRNetMgr::dump",
         "[%s]: ktr net mgr dump, upload=%d, net_status=%d, score=%d, bitrate=%d, max_bitrate=%d",
         {"upload", "net_status", "score", "bitrate", "max_bitrate"},
         "diagnostic dump of a network estimate, upload={upload} (0 is the download one): status {net_status}, score "
         "{score}, {bitrate} bps of at most {max_bitrate}"},
        {"peer.getPeer.missing",
         LogLevel::Error,
         "KTRPeerMgr::getPeer",
         "[%s]: ktr get peer failed, uid=%llu",
         {"uid"},
         "the user list names {uid}, whose streams were never reported: it starts with no stream until its peer report "
         "arrives"},
        {"peer.getPeerSvc.missing",
         LogLevel::Error,
         "KTRPeerMgr::getPeerSvc",
         "[%s]: ktr get peer failed, uid=%llu",
         {"uid"},
         "the lower stream of {uid} was asked for, but the peer has no stream report: its chosen stream is compared "
         "with an empty stream"},
        {"dft.byBitrate.outOfRange",
         LogLevel::Error,
         "KTRDFTMap::getDftByBitrate",
         "[%s]: ktr dft find by bitrate failed, return 480P, bitrate=%d",
         {"bitrate"},
         "bitrate {bitrate} is 0 or 3M and above, outside every definition class: it is classed as 480P"},
        {"dft.byBitrate.emptyMap",
         LogLevel::Error,
         "KTRDFTMap::getDftByBitrate",
         "[%s]: ktr dft find by bitrate failed, map==null, bitrate=%d",
         {"bitrate"},
         "the definition table is empty, so bitrate {bitrate} is classed as 480P"},
        {"dft.infoByBitrate.outOfRange",
         LogLevel::Warning,
         "KTRDFTMap::getDftInfoByBitrate",
         "[%s]: ktr dft find definition info failed, bitrate=%d",
         {"bitrate"},
         "bitrate {bitrate} is 0 or 3M and above: the 480P stream's parameters are used for it"},
        {"dft.infoByBitrate.emptyMap",
         LogLevel::Warning,
         "KTRDFTMap::getDftInfoByBitrate",
         "[%s]: ktr dft find failed, map==null, bitrate=%d",
         {"bitrate"},
         "the definition table is empty: bitrate {bitrate} gets an empty (all zero) 480P stream"},
        {"dft.infoByDft",
         LogLevel::Info,
         "KTRDFTMap::getDftInfoByDft",
         "[%s]: get video stream info by dft, channel=%d, dft=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d, width=%d, "
         "height=%d",
         {"channel", "dft", "bitrate", "maxbitrate", "minbitrate", "width", "height"},
         "the table's stream for definition {dft} on channel {channel} is {width}x{height} at {bitrate} bps (range "
         "{minbitrate} to {maxbitrate}); all zero means the table has no such entry and an empty stream is used"},
        {"dft.maxByDft.invalid",
         LogLevel::Info,
         "KTRDFTMap::getMaxBitrateByDft",
         "[%s]: invalid dft, use 720P, dft=%d",
         {"dft"},
         "definition {dft} is not in the table: the 720P maximum is used instead"},
        {"dft.minByDft.invalid",
         LogLevel::Info,
         "KTRDFTMap::getMinBitrateByDft",
         "[%s]: invalid dft, use 240p, dft=%d",
         {"dft"},
         "definition {dft} is not in the table: the 240P minimum is used instead"},
        {"dft.init",
         LogLevel::Info,
         "KTRDFTMap::initStreamInfosForDft",
         "[%s]: init stream infos for dft, channel=%d, width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d",
         {"channel", "width", "height", "bitrate", "maxbitrate", "minbitrate"},
         "the host defines a stream of channel {channel} at {width}x{height}, {bitrate} bps in {minbitrate} to "
         "{maxbitrate}: it replaces the table entry of its height (180, 240, 360 or 480, 720, 1080 lines; 360 only on "
         "channel 1), and any other height or channel is ignored"},
        {"dft.dump",
         LogLevel::Info,
         "KTRDFTMap::dump",
         "[%s]: ktr dft map, dft=%d, width=%d, height=%d, fps=%d, min_bitrate=%d, max_bitrate=%d",
         {"dft", "width", "height", "fps", "min_bitrate", "max_bitrate"},
         "diagnostic dump: definition {dft} is {width}x{height} at {fps} fps with bitrates {min_bitrate} to "
         "{max_bitrate}"},
        {"select.amend.min",
         LogLevel::Info,
         "KTRSelectMgr::amendSelectRequest",
         "[%s]: invalid video select request, exceed minBitrate, amend it now. req.bitrate=%d, minBitrate=%d, "
         "maxBitrate=%d",
         {"req.bitrate", "minBitrate", "maxBitrate"},
         "a subscriber asked for {req.bitrate} bps, below the 240P minimum {minBitrate}: the request is raised to "
         "{minBitrate}"},
        {"select.amend.max",
         LogLevel::Info,
         "KTRSelectMgr::amendSelectRequest",
         "[%s]: invalid video select request, exceed maxBitrate, amend it now. req.bitrate=%d, minBitrate=%d, "
         "maxBitrate=%d",
         {"req.bitrate", "minBitrate", "maxBitrate"},
         "a subscriber asked for {req.bitrate} bps, above the 720P maximum {maxBitrate} (a negative bitrate counts as "
         "above): the request is lowered to {maxBitrate}"},
        {"select.calculateMinBitrate",
         LogLevel::Info,
         "KTRSelectMgr::calculateMinBitrate",
         "[%s]: ktrselectmgr, calculateMinBitrate, width=%d, height=%d, bitrate=%d, minbitrate=%d, "
         "maxbitrate=%d,channel=%d, definition type=%d",
         {"width", "height", "bitrate", "minbitrate", "maxbitrate", "channel", "dft"},
         "a stream about to be published, {width}x{height} at {bitrate} bps up to {maxbitrate}, gets the floor "
         "{minbitrate}: the 240P minimum, or while the local user speaks the 480P minimum (a stream below 720P then "
         "becomes the 480P stream); force-HD leaves it as it was (channel {channel}, definition field {dft})"},
        {"select.adjustRequests.result",
         LogLevel::Info,
         "KTRSelectMgr::adjustRequests",
         "[%s]: video select adjust result: width=%d, height=%d,bitrate=%d, maxbitrate=%d,minbitrate=%d",
         {"width", "height", "bitrate", "maxbitrate", "minbitrate"},
         "the merged select requests ask the camera for {width}x{height} at {bitrate} bps (range {minbitrate} to "
         "{maxbitrate}), before the scene's ceiling is applied"},
        {"select.adjust2.tooFew",
         LogLevel::Error,
         "KTRSelectMgr::adjustSelects_2",
         "[%s]: error occured, m_arrRequests.size() = %d, it should equal to 2.",
         {"size"},
         "the two-request merge found {size} requests and yields no stream (a guard the upload decision never "
         "reaches)"},
        {"select.adjust2.sameDft",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_2",
         "[%s]: ktr select 2, same dft, choose lower, brt1=%d, brt2=%d, ret=%d",
         {"brt1", "brt2", "ret"},
         "two subscribers ask for {brt1} and {brt2} bps, in the same definition class: one stream at the lower, {ret} "
         "bps, serves both"},
        {"select.adjust2.differentDft",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_2",
         "[%s]: ktr select 2, brt1=%d, brt2=%d",
         {"brt1", "brt2"},
         "two subscribers ask for {brt1} and {brt2} bps, in different definition classes: both are published when one "
         "is at least twice the other, or 1.33 times and 100K above it, otherwise only the lower one"},
        {"select.adjust3.tooFew",
         LogLevel::Error,
         "KTRSelectMgr::adjustSelects_3",
         "[%s]: error occured, m_arrRequests.size() = %d, it should equal to 3.",
         {"size"},
         "the three-request merge found {size} requests and yields no stream (a guard the upload decision never "
         "reaches)"},
        {"select.adjust3.allAbove240P",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_3",
         "[%s]: ktr select 3, all>240P, choose lowest, brt1=%d, brt2=%d, brt3=%d, ret=%d",
         {"brt1", "brt2", "brt3", "ret"},
         "three subscribers ask for {brt1}, {brt2} and {brt3} bps, none in 240P: one stream at the lowest, {ret} bps, "
         "serves all"},
        {"select.adjust3.all240P",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_3",
         "[%s]: ktr select 3, same dft, choose lower, brt1=%d, brt2=%d, brt3=%d, result=%d",
         {"brt1", "brt2", "brt3", "result"},
         "three subscribers ask for {brt1}, {brt2} and {brt3} bps, all in 240P: one stream at the lowest, {result} "
         "bps, serves all"},
        {"select.adjust3.two",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_3",
         "[%s]: ktr select 3, brt1=%d, brt2=%d, brt3=%d, ret1=%d, ret2=%d",
         {"brt1", "brt2", "brt3", "ret1", "ret2"},
         "three subscribers ask for {brt1}, {brt2} and {brt3} bps with the lowest in 240P: two streams, {ret1} and "
         "{ret2} bps (the middle request serves the upper two when it shares the highest one's class and lies far from "
         "the lowest)"},
        {"select.adjust4.tooFew",
         LogLevel::Error,
         "KTRSelectMgr::adjustSelects_4",
         "[%s]: error occured, m_arrRequests.size() = %d, it should equal to 4.",
         {"size"},
         "the four-request merge found {size} requests and yields no stream (a guard the upload decision never "
         "reaches)"},
        {"select.adjust4.allAbove240P",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_4",
         "[%s]: ktr select 4, all>240P, choose lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, ret=%d",
         {"brt1", "brt2", "brt3", "brt4", "ret"},
         "four subscribers ask for {brt1}, {brt2}, {brt3} and {brt4} bps, none in 240P: one stream at the lowest, "
         "{ret} bps, serves all"},
        {"select.adjust4.all240P",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_4",
         "[%s]: ktr select 4, all same!!! select lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, ret=%d",
         {"brt1", "brt2", "brt3", "brt4", "ret"},
         "four subscribers ask for {brt1}, {brt2}, {brt3} and {brt4} bps, all in 240P: one stream at the lowest, {ret} "
         "bps, serves all"},
        {"select.adjust4.two",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_4",
         "[%s]: ktr select 4, brt1=%d, brt2=%d, brt3=%d, ret4=%d, ret1=%d, ret2=%d",
         {"brt1", "brt2", "brt3", "ret4", "ret1", "ret2"},
         "four subscribers ask for {brt1}, {brt2}, {brt3} and {ret4} bps (the fourth printed as ret4); the lowest and "
         "the third-lowest are twice, or 1.33 times and 100K, apart: two streams, {ret1} and {ret2} bps"},
        {"select.adjust4.allClose",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_4",
         "[%s]: ktr select 4, all close!!! select lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, ret=%d",
         {"brt1", "brt2", "brt3", "brt4", "ret"},
         "four subscribers ask for {brt1}, {brt2}, {brt3} and {brt4} bps; the lowest and the third-lowest are neither "
         "twice nor 1.33 times and 100K apart: one stream at the lowest, {ret} bps, serves all"},
        {"select.adjust5.tooFew",
         LogLevel::Error,
         "KTRSelectMgr::adjustSelects_5",
         "[%s]: error occured, m_arrRequests.size() = %d, it should equal to 5.",
         {"size"},
         "the five-request merge found {size} requests and yields no stream (a guard the upload decision never "
         "reaches)"},
        {"select.adjust5.allAbove240P",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_5",
         "[%s]: ktr select 5, all>240P, choose lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, brt5=%d, ret=%d",
         {"brt1", "brt2", "brt3", "brt4", "brt5", "ret"},
         "five subscribers ask for {brt1}, {brt2}, {brt3}, {brt4} and {brt5} bps, none in 240P: one stream at the "
         "lowest, {ret} bps, serves all"},
        {"select.adjust5.all240P",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_5",
         "[%s]: ktr select 5, all same!!! select lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, brt5=%d, ret=%d",
         {"brt1", "brt2", "brt3", "brt4", "brt5", "ret"},
         "five subscribers ask for {brt1}, {brt2}, {brt3}, {brt4} and {brt5} bps, all in 240P: one stream at the "
         "lowest, {ret} bps, serves all"},
        {"select.adjust5.two",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_5",
         "[%s]: ktr select 5, choose OK!!! brt1=%d, brt2=%d, brt3=%d, brt4=%d, brt5=%d,ret1=%d, ret2=%d",
         {"brt1", "brt2", "brt3", "brt4", "brt5", "ret1", "ret2"},
         "five subscribers ask for {brt1}, {brt2}, {brt3}, {brt4} and {brt5} bps; the lowest and the top one (the "
         "fourth-lowest, or the highest when the fourth-lowest is 240P) are 1.33 times or 100K apart: two streams, "
         "{ret1} and {ret2} bps"},
        {"select.adjust5.allClose",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_5",
         "[%s]: ktr select 5, all close!!! select lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, brt5=%d, ret=%d",
         {"brt1", "brt2", "brt3", "brt4", "brt5", "ret"},
         "five subscribers ask for {brt1}, {brt2}, {brt3}, {brt4} and {brt5} bps; the lowest and the top one are less "
         "than 1.33 times and less than 100K apart: one stream at the lowest, {ret} bps, serves all"},
        {"select.adjustOthers.tooFew",
         LogLevel::Error,
         "KTRSelectMgr::adjustSelects_others",
         "[%s]: error occured, m_arrRequests.size() = %d, it should bigger than 0.",
         {"size"},
         "the merge for six or more requests found {size} and yields no stream (a guard the upload decision never "
         "reaches)"},
        {"select.adjustOthers.sameDft",
         LogLevel::Info,
         "KTRSelectMgr::adjustSelects_others",
         "[%s]: ktr select others, brt1=%d, brt_last=%d, ret1=%d, ret=%d",
         {"brt1", "brt_last", "ret1", "ret"},
         "six or more subscribers: only the first and the last request count, and {brt1} and {brt_last} bps (the lower "
         "and the higher of the two) share a definition class: one stream at {ret} bps serves all"},
        {"select.dump.start",
         LogLevel::Info,
         "",
         "ktr select reqs, start=======",
         {},
         "diagnostic dump of the collected select requests begins"},
        {"select.dump.request",
         LogLevel::Info,
         "",
         "    ktr request width=%d, height=%d, fps=%d, bitrate=%d",
         {"width", "height", "fps", "bitrate"},
         "a collected select request: {width}x{height}, {fps} fps, {bitrate} bps"},
        {"select.dump.stop",
         LogLevel::Info,
         "",
         "ktr select reqs, stop =======",
         {},
         "the dump of the collected select requests ends"},
        {"ul.share",
         LogLevel::Info,
         "KTRULPolicy::adjust",
         "[%s]: share upload adjust , only return the default 720p streaminfo.channel=%d, bitrate=%d",
         {"channel", "bitrate"},
         "the share stream is published as the share table's 720P entry on channel {channel} at {bitrate} bps (0 until "
         "the host defines a 720-line share stream), and the share decision always reports a change"},
        {"ul.forceHD",
         LogLevel::Info,
         "KTRULPolicy::realAdjust",
         "[%s]: force hd video set, just return 720p.",
         {},
         "force-HD is configured: the camera publishes the 720P stream, whatever the scene and the subscribers' "
         "requests"},
        {"ul.defaultDefinition",
         LogLevel::Info,
         "KTRULPolicy::getDefaultDefinition",
         "[%s]: dt=%d, users=%d, sharing=%d, self_sharing=%d, speaking=%d, self_speaking=%d",
         {"dt", "users", "sharing", "self_sharing", "speaking", "self_speaking"},
         "the camera's scene default is chosen for device type {dt} with {users} users (the local one included), "
         "sharing {sharing} (local {self_sharing}), speaking {speaking} (local {self_speaking}): types 1, 4 and 8 go "
         "lower while someone shares, someone else speaks or the meeting grows, every other type gets 480P"},
        {"ul.dumpInfos.start",
         LogLevel::Info,
         "",
         "ktr select info, start=======",
         {},
         "diagnostic dump of a list of streams begins"},
        {"ul.dumpInfos.stream",
         LogLevel::Info,
         "",
         "    ktr select width=%d, height=%d, fps=%d, bitrate=%d",
         {"width", "height", "fps", "bitrate"},
         "a listed stream: {width}x{height}, {fps} fps, {bitrate} bps"},
        {"ul.dumpInfos.stop",
         LogLevel::Info,
         "",
         "ktr select info, stop =======",
         {},
         "the dump of the list of streams ends"},
        {"ul.dumpMap.start",
         LogLevel::Info,
         "",
         "ktr select map, start=======",
         {},
         "diagnostic dump of the streams by user begins"},
        {"ul.dumpMap.stream",
         LogLevel::Info,
         "",
         "    ktr select, uid=%llu, width=%d, height=%d, fps=%d, bitrate=%d",
         {"uid", "width", "height", "fps", "bitrate"},
         "the stream of user {uid}: {width}x{height}, {fps} fps, {bitrate} bps"},
        {"ul.dumpMap.stop",
         LogLevel::Info,
         "",
         "ktr select map, stop =======",
         {},
         "the dump of the streams by user ends"},
        {"ul.largeMeeting",
         LogLevel::Info,
         "KTRULPolicy::realAdjust",
         "[%s]: video select response result: width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d, "
         "speaker=%llu, userCount=%d",
         {"width", "height", "bitrate", "maxbitrate", "minbitrate", "speaker", "userCount"},
         "more than 4 users ({userCount}) and nobody local speaking: the scene default for this device type is "
         "published, {width}x{height} at {bitrate} bps (held at its minimum above 6 users, capped at its own bitrate "
         "with 5 or 6); subscribers' requests are ignored (speaker {speaker})"},
        {"ul.ceiling",
         LogLevel::Warning,
         "KTRULPolicy::realAdjust",
         "[%s]: selected bitrate is bigger than the default maxbitrate decided by the scene, just use the default "
         "bitrate. selected bitrate=%d, default bitrate=%d",
         {"selected", "default"},
         "a merged stream of {selected} bps is above the scene default's maximum {default} bps: the scene default "
         "stream is published in its place at {default} bps, with the default's resolution"},
        {"ul.result",
         LogLevel::Info,
         "KTRULPolicy::realAdjust",
         "[%s]: video select response result: width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d",
         {"width", "height", "bitrate", "maxbitrate", "minbitrate"},
         "the camera publishes {width}x{height} at {bitrate} bps (range {minbitrate} to {maxbitrate}); an svc line "
         "after it adds a second stream, and the higher of the two is ranked first"},
        {"ul.resultSvc",
         LogLevel::Info,
         "KTRULPolicy::realAdjust",
         "[%s]: video select response result: svc width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d",
         {"width", "height", "bitrate", "maxbitrate", "minbitrate"},
         "the camera also publishes a second stream, {width}x{height} at {bitrate} bps (range {minbitrate} to "
         "{maxbitrate})"},
        {"dl.addPeer",
         LogLevel::Info,
         "KTRDLPolicy::addPeer",
         "[%s]: ktrsdk: addPeer uid=%llu, infos.size(%d)",
         {"uid", "infos.size"},
         "peer {uid} enters the download choice with {infos.size} reported streams: none leaves it without a stream, "
         "one is received as it is, two or more let the policy choose the upper or the lower one"},
        {"dl.addPeer.self",
         LogLevel::Error,
         "KTRDLPolicy::addPeer",
         "[%s]: should not add myself. uid=%llu",
         {"uid"},
         "the local user {uid} was offered as a download peer: refused, nothing changes"},
        {"dl.addPeer.new",
         LogLevel::Info,
         "KTRDLPolicy::addPeer",
         "[%s]: ktr add new peer, uid=%llu",
         {"uid"},
         "peer {uid} reports two or more streams and had no choice yet: it gets the upper one only with a good "
         "download estimate (score above 85), a local device type other than 1 and at most 3 received users"},
        {"dl.addPeer.invalid",
         LogLevel::Error,
         "KTRDLPolicy::addPeer",
         "[%s]: ToDo: ktr add peer, invalid peer stream info added, may have a bug here.",
         {},
         "the stream chosen for the peer has bitrate 0 (an upper choice among three or more streams, or a stream "
         "reported at 0): the peer keeps it and the download adjustment cannot raise it"},
        {"dl.addPeer.chosen",
         LogLevel::Info,
         "KTRDLPolicy::addPeer",
         "[%s]: ktr download policy add peer, choose upper=%d, uid=%llu, bitrate=%d",
         {"upper", "uid", "bitrate"},
         "peer {uid} is received at {bitrate} bps; upper={upper} (1: its upper stream, 0: its lower one); a peer "
         "reported again gets the upper one only with a good estimate, nobody sharing or speaking and fewer than 3 "
         "received users"},
        {"dl.addPeer.lowerBigBitrate",
         LogLevel::Info,
         "KTRDLPolicy::addPeer",
         "[%s]: ktr add peer, choose lower because bigger bitrate>300K, peer=%llu",
         {"peer"},
         "peer {peer} publishes a stream above 300K, but on local device type 1 a new peer always gets its lower "
         "stream"},
        {"dl.addPeer.upperGood",
         LogLevel::Info,
         "KTRDLPolicy::addPeer",
         "[%s]: ktr add peer, choose uppper because net=good AND users<=3, peer=%llu",
         {"peer"},
         "new peer {peer}: the download estimate is good (score above 85) and at most 3 users are received, so its "
         "upper stream is received"},
        {"dl.chooseUpper.size",
         LogLevel::Error,
         "KTRDLPolicy::chooseUpper",
         "[%s]: error occured, infos.size() must equal to 2, check the biz ahead.",
         {},
         "the upper stream can only be chosen between exactly two reported streams: a peer with three or more gets an "
         "empty stream (bitrate 0)"},
        {"dl.removePeer",
         LogLevel::Info,
         "KTRDLPolicy::removePeer",
         "[%s]: removePeer, uid=%llu",
         {"uid"},
         "user {uid} left: its download choice is dropped, while the cut rotation and the last requests still remember "
         "it"},
        {"dl.clear",
         LogLevel::Info,
         "KTRDLPolicy::clear",
         "[%s]: ktrdk: clear download policy selects.",
         {},
         "the host sets the received-users list anew: every download choice is dropped and each listed user is chosen "
         "again as a new peer"},
        {"dl.getHDUids",
         LogLevel::Info,
         "KTRDLPolicy::getHDUids",
         "[%s]: ktrsdk: get hd uids  m_mapSelects.size(%d)",
         {"size"},
         "the host asks which of the {size} received peers are in high and which in low definition: a peer is low when "
         "it publishes two or more streams and its chosen stream is in its lower stream's definition class, otherwise "
         "high"},
        {"dl.adjust.noPeer",
         LogLevel::Error,
         "KTRDLPolicy::adjust",
         "[%s]: ktr download policy, adjust failed, no peer!!!",
         {},
         "download adjustment with no peer report stored: no request, the answer is 'unchanged' and the last requests "
         "are kept"},
        {"dl.adjust.peerCount",
         LogLevel::Info,
         "KTRDLPolicy::adjust",
         "[%s]: ktrsdk: download adjust peerCount=%d",
         {"peerCount"},
         "download adjustment with {peerCount} peers holding a stream report"},
        {"dl.realAdjust.estimate",
         LogLevel::Info,
         "KTRDLPolicy::realAdjust",
         "[%s]: ktrsdk: real adjust download policy, current net_status=%d, net_score=%d, bitrate=%d, max_bitrate=%d",
         {"net_status", "net_score", "bitrate", "max_bitrate"},
         "the download estimate for this adjustment: status {net_status} (1 normal; 2 or 3 headroom, raise one peer; 4 "
         "or 5 congestion, cut up to three; any other, nothing), score {net_score}, {bitrate} bps of at most "
         "{max_bitrate} (0: no maximum known)"},
        {"dl.realAdjust.lowScore",
         LogLevel::Info,
         "KTRDLPolicy::realAdjust",
         "[%s]: don't ajudt when score(%d)<85!",
         {"score"},
         "headroom reported but the score {score} is not above 85: no peer is raised"},
        {"dl.realAdjust.nearMax",
         LogLevel::Info,
         "KTRDLPolicy::realAdjust",
         "[%s]: ktrsdk: don't adjust when bitrate(%d)>=max_bitrate(%d)!!!",
         {"bitrate", "max_bitrate"},
         "headroom reported but the download already runs at {bitrate} bps, 95 % or more of its maximum {max_bitrate} "
         "or above 3M: no peer is raised"},
        {"dl.realAdjust.normal",
         LogLevel::Info,
         "KTRDLPolicy::realAdjust",
         "[%s]: the current net_status == tarn::video::VIDEO_NET_ESTIMAT_NORMAL, work fine, don't need to adjust.",
         {},
         "the download estimate is normal (status 1): no peer is raised or cut"},
        {"dl.realAdjust.request",
         LogLevel::Info,
         "KTRDLPolicy::realAdjust",
         "[%s]: video select request: uid=%llu, width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d, "
         "net_status=%d, net_score=%d, bitrate=%d, max_bitrate=%d",
         {"uid", "width", "height", "bitrate", "maxbitrate", "minbitrate", "net_status", "net_score", "net_bitrate",
          "max_bitrate"},
         "peer {uid} is asked for {width}x{height} at {bitrate} bps (range {minbitrate} to {maxbitrate}) under "
         "estimate status {net_status}, score {net_score}, {net_bitrate} bps of at most {max_bitrate}"},
        {"dl.realAdjust.noInc",
         LogLevel::Error,
         "KTRDLPolicy::realAdjust",
         "[%s]: ktr download policy, select inc uids failed",
         {},
         "headroom reported but no peer was picked to rise (peers are searched in uid order, and a chosen stream "
         "outside 30K to 2M ends the search): no request"},
        {"dl.realAdjust.noDec",
         LogLevel::Error,
         "KTRDLPolicy::realAdjust",
         "[%s]: ktr download policy, select dec uids failed",
         {},
         "congestion reported but no peer was picked to cut (no peer has a download choice, or none is 90K above its "
         "minimum): no request"},
        {"dl.upperBitrate.over2M",
         LogLevel::Warning,
         "KTRDLPolicy::upperBitrate",
         "[%s]: bitrate is more than 2M, can not upper any more.",
         {},
         "the peer picked to rise already receives more than 2M: it gets no request"},
        {"dl.lowerBitrate.missing",
         LogLevel::Warning,
         "KTRDLPolicy::lowerBitrate",
         "[%s]: cannot find the user:%llu, m_mapSelects.size(%d)",
         {"user", "size"},
         "peer {user} was picked to cut but is not among the {size} peers with a download choice: it gets no request"},
        {"dl.selectInc.empty",
         LogLevel::Error,
         "KTRDLPolicy::selectIncPeers",
         "[%s]: ktr select inc peers failed, m_mapPeerInfos.size==0",
         {},
         "no peer has a download choice, so none can be raised"},
        {"dl.selectDec.empty",
         LogLevel::Error,
         "KTRDLPolicy::selectDecPeers",
         "[%s]: ktr select dec peers failed, m_mapPeerInfos.size==0",
         {},
         "no peer has a download choice, so none can be cut"},
        {"dl.selectDec.reset",
         LogLevel::Info,
         "KTRDLPolicy::selectDecPeers",
         "[%s]: all the user in list has been selected, reset and reloop again.",
         {},
         "as many peers have been cut in this rotation as there are peers: the rotation starts again, so peers already "
         "cut can be cut again"},
        {"dl.isGoodToInc.good",
         LogLevel::Info,
         "KTRDLPolicy::isGoodToInc",
         "[%s]: user's bitrate is good to inc, peer=%llu, bitrate=%d, maxBitrate=%d, isSpeaker=%d",
         {"peer", "bitrate", "maxBitrate", "isSpeaker"},
         "peer {peer} at {bitrate} bps is at least 30K below its maximum {maxBitrate}: it may be raised (speaker: "
         "{isSpeaker})"},
        {"dl.isGoodToInc.max",
         LogLevel::Info,
         "KTRDLPolicy::isGoodToInc",
         "[%s]: user's bitrate reach the maxBitrate, not increase any more, peer=%llu,  bitrate=%d, "
         "maxBitrate=%d,isSpeaker=%d",
         {"peer", "bitrate", "maxBitrate", "isSpeaker"},
         "peer {peer} at {bitrate} bps is less than 30K below its maximum {maxBitrate}, or has no bitrate: it is not "
         "raised (speaker: {isSpeaker})"},
        {"dl.isGoodToDec.min",
         LogLevel::Info,
         "KTRDLPolicy::isGoodToDec",
         "[%s]: user's bitrate reach the minBitrate, peer=%llu, bitrate=%d, maxBitrate=%d",
         {"peer", "bitrate", "maxBitrate"},
         "peer {peer} at {bitrate} bps is less than 90K above its minimum {maxBitrate} (printed as maxBitrate): it is "
         "spared from this cut"},
        {"dl.isGoodToDec.good",
         LogLevel::Info,
         "KTRDLPolicy::isGoodToDec",
         "[%s]: user's bitrate is good to dec, peer=%llu, bitrate=%d, maxBitrate=%d",
         {"peer", "bitrate", "maxBitrate"},
         "peer {peer} at {bitrate} bps is 90K or more above its minimum {maxBitrate} (printed as maxBitrate): it may "
         "be cut"},
    };
}

// The position of field among the entry's fields, which must be printed by conversion.
size_t fieldIndex(const ParsedLine& line, std::string_view field, LogPattern::Conversion conversion) {
    const LogPattern* pattern = line.format == nullptr ? nullptr : LogLineMatcher::instance().patternOf(*line.format);
    if (pattern != nullptr) {
        const std::vector<std::string_view>& fields = line.format->fields;
        const std::vector<LogPattern::Conversion>& conversions = pattern->conversions();
        const size_t count = std::min({fields.size(), conversions.size(), line.values.size()});
        for (size_t i = 0; i < count; ++i) {
            if (fields[i] == field && conversions[i] == conversion) {
                return i;
            }
        }
    }
    throw std::out_of_range("no such field in the log line: " + std::string(field));
}

template <typename Number>
Number parseNumber(const std::string& text) {
    Number value{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        throw std::out_of_range("not a number in the log line: " + text);
    }
    return value;
}

}  // namespace

int64_t ParsedLine::integer(std::string_view field) const {
    return parseNumber<int64_t>(values[fieldIndex(*this, field, LogPattern::Conversion::Int32)]);
}

uint64_t ParsedLine::uid(std::string_view field) const {
    return parseNumber<uint64_t>(values[fieldIndex(*this, field, LogPattern::Conversion::Uint64)]);
}

std::string ParsedLine::print() const {
    return format == nullptr ? std::string() : LogLineMatcher::instance().print(*format, values);
}

bool ParsedLine::isUid(size_t index) const {
    const LogPattern* pattern = format == nullptr ? nullptr : LogLineMatcher::instance().patternOf(*format);
    return pattern != nullptr && index < pattern->conversions().size() &&
           pattern->conversions()[index] == LogPattern::Conversion::Uint64;
}

std::string ParsedLine::explanation() const {
    if (format == nullptr) {
        return std::string();
    }
    const std::string_view text = format->explanation;
    std::string filled;
    size_t position = 0;
    while (position < text.size()) {
        const size_t open = text.find('{', position);
        const size_t close = open == std::string_view::npos ? open : text.find('}', open);
        if (close == std::string_view::npos) {
            break;
        }
        filled.append(text.substr(position, open - position));
        const std::string_view name = text.substr(open + 1, close - open - 1);
        size_t field = 0;
        while (field < format->fields.size() && format->fields[field] != name) {
            ++field;
        }
        // A placeholder without a field stays as it is, so that the catalogue test finds it.
        filled.append(field < values.size() ? std::string_view(values[field]) : text.substr(open, close - open + 1));
        position = close + 1;
    }
    filled.append(text.substr(position));
    return filled;
}

const std::vector<LogFormat>& logCatalogue() {
    static const std::vector<LogFormat> catalogue = buildCatalogue();
    return catalogue;
}

const LogFormat& logFormat(std::string_view id) {
    const LogFormat* format = LogLineMatcher::instance().find(id);
    if (format == nullptr) {
        throw std::out_of_range("unknown log format id: " + std::string(id));
    }
    return *format;
}

std::optional<ParsedLine> parseLogLine(std::string_view text, std::optional<LogLevel> level) {
    std::vector<std::string_view> values;
    const LogFormat* format = LogLineMatcher::instance().match(text, level, values);
    if (format == nullptr) {
        return std::nullopt;
    }
    return ParsedLine{format, std::vector<std::string>(values.begin(), values.end())};
}

std::vector<ParsedLine> parseLogLineAll(std::string_view text, std::optional<LogLevel> level) {
    std::vector<ParsedLine> parsed;
    for (const auto& [format, values] : LogLineMatcher::instance().matchAll(text, level)) {
        parsed.push_back(ParsedLine{format, std::vector<std::string>(values.begin(), values.end())});
    }
    return parsed;
}

}  // namespace ktr
