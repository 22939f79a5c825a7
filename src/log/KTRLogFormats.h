// Every line the library logs, as one format each: its id (the name the tools know it by), the level it
// is always logged at, the tag of the operation that logs it and its printf text. The library writes its
// lines only through these (KTRLog.h), and the tools read the lines back with them.
//
// A tagged text begins with "[%s]: ", which the tag fills. The diagnostic dump lines carry neither that
// prefix nor a tag: their tag is empty.
#ifndef KTRSDK_LOG_KTRLOGFORMATS_H
#define KTRSDK_LOG_KTRLOGFORMATS_H

namespace ktrlog {

// Which of the logger's three functions writes a format: logi, logw or loge.
enum class Level { Info, Warning, Error };

// ---- KTRMgr -----------------------------------------------------------------------------------------
struct MgrInit {
    static constexpr char id[] = "mgr.init";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRMgr::init";
    static constexpr char text[] = "[%s]: ktr init, uid=%llu, dt=%d";
};

struct MgrAddUser {
    static constexpr char id[] = "mgr.addUser";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRMgr::addUser";
    static constexpr char text[] = "[%s]: ktr add user, uid=%llu, dt=%d";
};

struct MgrRemoveUser {
    static constexpr char id[] = "mgr.removeUser";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRMgr::removeUser";
    static constexpr char text[] = "[%s]: ktr remove user, uid=%llu, dt=%d";
};

struct MgrSetSharing {
    static constexpr char id[] = "mgr.setSharing";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRMgr::setSharing";
    static constexpr char text[] = "[%s]: ktr set sharing, sharing=%d, uid=%llu";
};

struct MgrSetSpeaker {
    static constexpr char id[] = "mgr.setSpeaker";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRMgr::setSpeaker";
    static constexpr char text[] = "[%s]: ktr set speaker, speaker=%d, uid=%llu";
};

struct MgrAddSelectReq {
    static constexpr char id[] = "mgr.addSelectReq";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRMgr::addSelectReq";
    static constexpr char text[] = "[%s]: ktr add video select, widht=%d, height=%d, fps=%d, bitrate=%d";
};

struct MgrAddPeerReportSelf {
    static constexpr char id[] = "mgr.addPeerReport.self";
    static constexpr Level level = Level::Warning;
    static constexpr char tag[] = "KTRMgr::addPeerReport";
    static constexpr char text[] = "[%s]: can not add myself as a peer, uid=%llu";
};

struct MgrAddPeerReportStream {
    static constexpr char id[] = "mgr.addPeerReport.stream";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRMgr::addPeerReport";
    static constexpr char text[] = "[%s]: krt add peer report, peer=%llu, width=%d, height=%d, bitrate=%d";
};

// ---- KTRNetMgr --------------------------------------------------------------------------------------
struct NetDump {
    static constexpr char id[] = "net.dump";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRNetMgr::dump";
    static constexpr char text[] =
        "[%s]: ktr net mgr dump, upload=%d, net_status=%d, score=%d, bitrate=%d, max_bitrate=%d";
};

// ---- KTRPeerMgr -------------------------------------------------------------------------------------
struct PeerGetPeerMissing {
    static constexpr char id[] = "peer.getPeer.missing";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRPeerMgr::getPeer";
    static constexpr char text[] = "[%s]: ktr get peer failed, uid=%llu";
};

struct PeerGetPeerSvcMissing {
    static constexpr char id[] = "peer.getPeerSvc.missing";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRPeerMgr::getPeerSvc";
    static constexpr char text[] = "[%s]: ktr get peer failed, uid=%llu";
};

// ---- KTRDFTMap --------------------------------------------------------------------------------------
struct DftByBitrateOutOfRange {
    static constexpr char id[] = "dft.byBitrate.outOfRange";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDFTMap::getDftByBitrate";
    static constexpr char text[] = "[%s]: ktr dft find by bitrate failed, return 480P, bitrate=%d";
};

struct DftByBitrateEmptyMap {
    static constexpr char id[] = "dft.byBitrate.emptyMap";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDFTMap::getDftByBitrate";
    static constexpr char text[] = "[%s]: ktr dft find by bitrate failed, map==null, bitrate=%d";
};

struct DftInfoByBitrateOutOfRange {
    static constexpr char id[] = "dft.infoByBitrate.outOfRange";
    static constexpr Level level = Level::Warning;
    static constexpr char tag[] = "KTRDFTMap::getDftInfoByBitrate";
    static constexpr char text[] = "[%s]: ktr dft find definition info failed, bitrate=%d";
};

struct DftInfoByBitrateEmptyMap {
    static constexpr char id[] = "dft.infoByBitrate.emptyMap";
    static constexpr Level level = Level::Warning;
    static constexpr char tag[] = "KTRDFTMap::getDftInfoByBitrate";
    static constexpr char text[] = "[%s]: ktr dft find failed, map==null, bitrate=%d";
};

struct DftInfoByDft {
    static constexpr char id[] = "dft.infoByDft";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDFTMap::getDftInfoByDft";
    static constexpr char text[] =
        "[%s]: get video stream info by dft, channel=%d, dft=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d, width=%d, "
        "height=%d";
};

struct DftMaxByDftInvalid {
    static constexpr char id[] = "dft.maxByDft.invalid";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDFTMap::getMaxBitrateByDft";
    static constexpr char text[] = "[%s]: invalid dft, use 720P, dft=%d";
};

struct DftMinByDftInvalid {
    static constexpr char id[] = "dft.minByDft.invalid";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDFTMap::getMinBitrateByDft";
    static constexpr char text[] = "[%s]: invalid dft, use 240p, dft=%d";
};

struct DftInit {
    static constexpr char id[] = "dft.init";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDFTMap::initStreamInfosForDft";
    static constexpr char text[] =
        "[%s]: init stream infos for dft, channel=%d, width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d";
};

struct DftDump {
    static constexpr char id[] = "dft.dump";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDFTMap::dump";
    static constexpr char text[] =
        "[%s]: ktr dft map, dft=%d, width=%d, height=%d, fps=%d, min_bitrate=%d, max_bitrate=%d";
};

// ---- KTRSelectMgr -----------------------------------------------------------------------------------
struct SelectAmendMin {
    static constexpr char id[] = "select.amend.min";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::amendSelectRequest";
    static constexpr char text[] =
        "[%s]: invalid video select request, exceed minBitrate, amend it now. req.bitrate=%d, minBitrate=%d, "
        "maxBitrate=%d";
};

struct SelectAmendMax {
    static constexpr char id[] = "select.amend.max";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::amendSelectRequest";
    static constexpr char text[] =
        "[%s]: invalid video select request, exceed maxBitrate, amend it now. req.bitrate=%d, minBitrate=%d, "
        "maxBitrate=%d";
};

struct SelectCalculateMinBitrate {
    static constexpr char id[] = "select.calculateMinBitrate";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::calculateMinBitrate";
    static constexpr char text[] =
        "[%s]: ktrselectmgr, calculateMinBitrate, width=%d, height=%d, bitrate=%d, minbitrate=%d, "
        "maxbitrate=%d,channel=%d, definition type=%d";
};

struct SelectAdjustRequestsResult {
    static constexpr char id[] = "select.adjustRequests.result";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustRequests";
    static constexpr char text[] =
        "[%s]: video select adjust result: width=%d, height=%d,bitrate=%d, maxbitrate=%d,minbitrate=%d";
};

struct SelectAdjust2TooFew {
    static constexpr char id[] = "select.adjust2.tooFew";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_2";
    static constexpr char text[] = "[%s]: error occured, m_arrRequests.size() = %d, it should equal to 2.";
};

struct SelectAdjust2SameDft {
    static constexpr char id[] = "select.adjust2.sameDft";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_2";
    static constexpr char text[] = "[%s]: ktr select 2, same dft, choose lower, brt1=%d, brt2=%d, ret=%d";
};

struct SelectAdjust2DifferentDft {
    static constexpr char id[] = "select.adjust2.differentDft";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_2";
    static constexpr char text[] = "[%s]: ktr select 2, brt1=%d, brt2=%d";
};

struct SelectAdjust3TooFew {
    static constexpr char id[] = "select.adjust3.tooFew";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_3";
    static constexpr char text[] = "[%s]: error occured, m_arrRequests.size() = %d, it should equal to 3.";
};

struct SelectAdjust3AllAbove240P {
    static constexpr char id[] = "select.adjust3.allAbove240P";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_3";
    static constexpr char text[] = "[%s]: ktr select 3, all>240P, choose lowest, brt1=%d, brt2=%d, brt3=%d, ret=%d";
};

struct SelectAdjust3All240P {
    static constexpr char id[] = "select.adjust3.all240P";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_3";
    static constexpr char text[] = "[%s]: ktr select 3, same dft, choose lower, brt1=%d, brt2=%d, brt3=%d, result=%d";
};

struct SelectAdjust3Two {
    static constexpr char id[] = "select.adjust3.two";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_3";
    static constexpr char text[] = "[%s]: ktr select 3, brt1=%d, brt2=%d, brt3=%d, ret1=%d, ret2=%d";
};

struct SelectAdjust4TooFew {
    static constexpr char id[] = "select.adjust4.tooFew";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_4";
    static constexpr char text[] = "[%s]: error occured, m_arrRequests.size() = %d, it should equal to 4.";
};

struct SelectAdjust4AllAbove240P {
    static constexpr char id[] = "select.adjust4.allAbove240P";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_4";
    static constexpr char text[] =
        "[%s]: ktr select 4, all>240P, choose lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, ret=%d";
};

struct SelectAdjust4All240P {
    static constexpr char id[] = "select.adjust4.all240P";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_4";
    static constexpr char text[] =
        "[%s]: ktr select 4, all same!!! select lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, ret=%d";
};

struct SelectAdjust4Two {
    static constexpr char id[] = "select.adjust4.two";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_4";
    static constexpr char text[] = "[%s]: ktr select 4, brt1=%d, brt2=%d, brt3=%d, ret4=%d, ret1=%d, ret2=%d";
};

struct SelectAdjust4AllClose {
    static constexpr char id[] = "select.adjust4.allClose";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_4";
    static constexpr char text[] =
        "[%s]: ktr select 4, all close!!! select lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, ret=%d";
};

struct SelectAdjust5TooFew {
    static constexpr char id[] = "select.adjust5.tooFew";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_5";
    static constexpr char text[] = "[%s]: error occured, m_arrRequests.size() = %d, it should equal to 5.";
};

struct SelectAdjust5AllAbove240P {
    static constexpr char id[] = "select.adjust5.allAbove240P";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_5";
    static constexpr char text[] =
        "[%s]: ktr select 5, all>240P, choose lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, brt5=%d, ret=%d";
};

struct SelectAdjust5All240P {
    static constexpr char id[] = "select.adjust5.all240P";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_5";
    static constexpr char text[] =
        "[%s]: ktr select 5, all same!!! select lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, brt5=%d, ret=%d";
};

struct SelectAdjust5Two {
    static constexpr char id[] = "select.adjust5.two";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_5";
    static constexpr char text[] =
        "[%s]: ktr select 5, choose OK!!! brt1=%d, brt2=%d, brt3=%d, brt4=%d, brt5=%d,ret1=%d, ret2=%d";
};

struct SelectAdjust5AllClose {
    static constexpr char id[] = "select.adjust5.allClose";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_5";
    static constexpr char text[] =
        "[%s]: ktr select 5, all close!!! select lowest, brt1=%d, brt2=%d, brt3=%d, brt4=%d, brt5=%d, ret=%d";
};

struct SelectAdjustOthersTooFew {
    static constexpr char id[] = "select.adjustOthers.tooFew";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_others";
    static constexpr char text[] = "[%s]: error occured, m_arrRequests.size() = %d, it should bigger than 0.";
};

struct SelectAdjustOthersSameDft {
    static constexpr char id[] = "select.adjustOthers.sameDft";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRSelectMgr::adjustSelects_others";
    static constexpr char text[] = "[%s]: ktr select others, brt1=%d, brt_last=%d, ret1=%d, ret=%d";
};

struct SelectDumpStart {
    static constexpr char id[] = "select.dump.start";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "";
    static constexpr char text[] = "ktr select reqs, start=======";
};

struct SelectDumpRequest {
    static constexpr char id[] = "select.dump.request";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "";
    static constexpr char text[] = "    ktr request width=%d, height=%d, fps=%d, bitrate=%d";
};

struct SelectDumpStop {
    static constexpr char id[] = "select.dump.stop";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "";
    static constexpr char text[] = "ktr select reqs, stop =======";
};

// ---- KTRULPolicy ------------------------------------------------------------------------------------
struct UlShare {
    static constexpr char id[] = "ul.share";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRULPolicy::adjust";
    static constexpr char text[] =
        "[%s]: share upload adjust , only return the default 720p streaminfo.channel=%d, bitrate=%d";
};

struct UlForceHD {
    static constexpr char id[] = "ul.forceHD";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRULPolicy::realAdjust";
    static constexpr char text[] = "[%s]: force hd video set, just return 720p.";
};

struct UlDefaultDefinition {
    static constexpr char id[] = "ul.defaultDefinition";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRULPolicy::getDefaultDefinition";
    static constexpr char text[] = "[%s]: dt=%d, users=%d, sharing=%d, self_sharing=%d, speaking=%d, self_speaking=%d";
};

struct UlDumpInfosStart {
    static constexpr char id[] = "ul.dumpInfos.start";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "";
    static constexpr char text[] = "ktr select info, start=======";
};

struct UlDumpInfosStream {
    static constexpr char id[] = "ul.dumpInfos.stream";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "";
    static constexpr char text[] = "    ktr select width=%d, height=%d, fps=%d, bitrate=%d";
};

struct UlDumpInfosStop {
    static constexpr char id[] = "ul.dumpInfos.stop";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "";
    static constexpr char text[] = "ktr select info, stop =======";
};

struct UlDumpMapStart {
    static constexpr char id[] = "ul.dumpMap.start";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "";
    static constexpr char text[] = "ktr select map, start=======";
};

struct UlDumpMapStream {
    static constexpr char id[] = "ul.dumpMap.stream";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "";
    static constexpr char text[] = "    ktr select, uid=%llu, width=%d, height=%d, fps=%d, bitrate=%d";
};

struct UlDumpMapStop {
    static constexpr char id[] = "ul.dumpMap.stop";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "";
    static constexpr char text[] = "ktr select map, stop =======";
};

struct UlLargeMeeting {
    static constexpr char id[] = "ul.largeMeeting";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRULPolicy::realAdjust";
    static constexpr char text[] =
        "[%s]: video select response result: width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d, "
        "speaker=%llu, userCount=%d";
};

struct UlCeiling {
    static constexpr char id[] = "ul.ceiling";
    static constexpr Level level = Level::Warning;
    static constexpr char tag[] = "KTRULPolicy::realAdjust";
    static constexpr char text[] =
        "[%s]: selected bitrate is bigger than the default maxbitrate decided by the scene, just use the default "
        "bitrate. selected bitrate=%d, default bitrate=%d";
};

struct UlResult {
    static constexpr char id[] = "ul.result";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRULPolicy::realAdjust";
    static constexpr char text[] =
        "[%s]: video select response result: width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d";
};

struct UlResultSvc {
    static constexpr char id[] = "ul.resultSvc";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRULPolicy::realAdjust";
    static constexpr char text[] =
        "[%s]: video select response result: svc width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d";
};

// ---- KTRDLPolicy ------------------------------------------------------------------------------------
struct DlAddPeer {
    static constexpr char id[] = "dl.addPeer";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::addPeer";
    static constexpr char text[] = "[%s]: ktrsdk: addPeer uid=%llu, infos.size(%d)";
};

struct DlAddPeerSelf {
    static constexpr char id[] = "dl.addPeer.self";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDLPolicy::addPeer";
    static constexpr char text[] = "[%s]: should not add myself. uid=%llu";
};

struct DlAddPeerNew {
    static constexpr char id[] = "dl.addPeer.new";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::addPeer";
    static constexpr char text[] = "[%s]: ktr add new peer, uid=%llu";
};

struct DlAddPeerInvalid {
    static constexpr char id[] = "dl.addPeer.invalid";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDLPolicy::addPeer";
    static constexpr char text[] = "[%s]: ToDo: ktr add peer, invalid peer stream info added, may have a bug here.";
};

struct DlAddPeerChosen {
    static constexpr char id[] = "dl.addPeer.chosen";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::addPeer";
    static constexpr char text[] = "[%s]: ktr download policy add peer, choose upper=%d, uid=%llu, bitrate=%d";
};

struct DlAddPeerLowerBigBitrate {
    static constexpr char id[] = "dl.addPeer.lowerBigBitrate";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::addPeer";
    static constexpr char text[] = "[%s]: ktr add peer, choose lower because bigger bitrate>300K, peer=%llu";
};

struct DlAddPeerUpperGood {
    static constexpr char id[] = "dl.addPeer.upperGood";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::addPeer";
    static constexpr char text[] = "[%s]: ktr add peer, choose uppper because net=good AND users<=3, peer=%llu";
};

struct DlChooseUpperSize {
    static constexpr char id[] = "dl.chooseUpper.size";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDLPolicy::chooseUpper";
    static constexpr char text[] = "[%s]: error occured, infos.size() must equal to 2, check the biz ahead.";
};

struct DlRemovePeer {
    static constexpr char id[] = "dl.removePeer";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::removePeer";
    static constexpr char text[] = "[%s]: removePeer, uid=%llu";
};

struct DlClear {
    static constexpr char id[] = "dl.clear";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::clear";
    static constexpr char text[] = "[%s]: ktrdk: clear download policy selects.";
};

struct DlGetHDUids {
    static constexpr char id[] = "dl.getHDUids";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::getHDUids";
    static constexpr char text[] = "[%s]: ktrsdk: get hd uids  m_mapSelects.size(%d)";
};

struct DlAdjustNoPeer {
    static constexpr char id[] = "dl.adjust.noPeer";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDLPolicy::adjust";
    static constexpr char text[] = "[%s]: ktr download policy, adjust failed, no peer!!!";
};

struct DlAdjustPeerCount {
    static constexpr char id[] = "dl.adjust.peerCount";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::adjust";
    static constexpr char text[] = "[%s]: ktrsdk: download adjust peerCount=%d";
};

struct DlRealAdjustEstimate {
    static constexpr char id[] = "dl.realAdjust.estimate";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::realAdjust";
    static constexpr char text[] =
        "[%s]: ktrsdk: real adjust download policy, current net_status=%d, net_score=%d, bitrate=%d, max_bitrate=%d";
};

struct DlRealAdjustLowScore {
    static constexpr char id[] = "dl.realAdjust.lowScore";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::realAdjust";
    static constexpr char text[] = "[%s]: don't ajudt when score(%d)<85!";
};

struct DlRealAdjustNearMax {
    static constexpr char id[] = "dl.realAdjust.nearMax";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::realAdjust";
    static constexpr char text[] = "[%s]: ktrsdk: don't adjust when bitrate(%d)>=max_bitrate(%d)!!!";
};

struct DlRealAdjustNormal {
    static constexpr char id[] = "dl.realAdjust.normal";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::realAdjust";
    static constexpr char text[] =
        "[%s]: the current net_status == tarn::video::VIDEO_NET_ESTIMAT_NORMAL, work fine, don't need to adjust.";
};

struct DlRealAdjustRequest {
    static constexpr char id[] = "dl.realAdjust.request";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::realAdjust";
    static constexpr char text[] =
        "[%s]: video select request: uid=%llu, width=%d, height=%d, bitrate=%d, maxbitrate=%d, minbitrate=%d, "
        "net_status=%d, net_score=%d, bitrate=%d, max_bitrate=%d";
};

struct DlRealAdjustNoInc {
    static constexpr char id[] = "dl.realAdjust.noInc";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDLPolicy::realAdjust";
    static constexpr char text[] = "[%s]: ktr download policy, select inc uids failed";
};

struct DlRealAdjustNoDec {
    static constexpr char id[] = "dl.realAdjust.noDec";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDLPolicy::realAdjust";
    static constexpr char text[] = "[%s]: ktr download policy, select dec uids failed";
};

struct DlUpperBitrateOver2M {
    static constexpr char id[] = "dl.upperBitrate.over2M";
    static constexpr Level level = Level::Warning;
    static constexpr char tag[] = "KTRDLPolicy::upperBitrate";
    static constexpr char text[] = "[%s]: bitrate is more than 2M, can not upper any more.";
};

struct DlLowerBitrateMissing {
    static constexpr char id[] = "dl.lowerBitrate.missing";
    static constexpr Level level = Level::Warning;
    static constexpr char tag[] = "KTRDLPolicy::lowerBitrate";
    static constexpr char text[] = "[%s]: cannot find the user:%llu, m_mapSelects.size(%d)";
};

struct DlSelectIncEmpty {
    static constexpr char id[] = "dl.selectInc.empty";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDLPolicy::selectIncPeers";
    static constexpr char text[] = "[%s]: ktr select inc peers failed, m_mapPeerInfos.size==0";
};

struct DlSelectDecEmpty {
    static constexpr char id[] = "dl.selectDec.empty";
    static constexpr Level level = Level::Error;
    static constexpr char tag[] = "KTRDLPolicy::selectDecPeers";
    static constexpr char text[] = "[%s]: ktr select dec peers failed, m_mapPeerInfos.size==0";
};

struct DlSelectDecReset {
    static constexpr char id[] = "dl.selectDec.reset";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::selectDecPeers";
    static constexpr char text[] = "[%s]: all the user in list has been selected, reset and reloop again.";
};

struct DlIsGoodToIncGood {
    static constexpr char id[] = "dl.isGoodToInc.good";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::isGoodToInc";
    static constexpr char text[] =
        "[%s]: user's bitrate is good to inc, peer=%llu, bitrate=%d, maxBitrate=%d, isSpeaker=%d";
};

struct DlIsGoodToIncMax {
    static constexpr char id[] = "dl.isGoodToInc.max";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::isGoodToInc";
    static constexpr char text[] =
        "[%s]: user's bitrate reach the maxBitrate, not increase any more, peer=%llu,  bitrate=%d, "
        "maxBitrate=%d,isSpeaker=%d";
};

struct DlIsGoodToDecMin {
    static constexpr char id[] = "dl.isGoodToDec.min";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::isGoodToDec";
    static constexpr char text[] = "[%s]: user's bitrate reach the minBitrate, peer=%llu, bitrate=%d, maxBitrate=%d";
};

struct DlIsGoodToDecGood {
    static constexpr char id[] = "dl.isGoodToDec.good";
    static constexpr Level level = Level::Info;
    static constexpr char tag[] = "KTRDLPolicy::isGoodToDec";
    static constexpr char text[] = "[%s]: user's bitrate is good to dec, peer=%llu, bitrate=%d, maxBitrate=%d";
};

// ---- all of them ---------------------------------------------------------------------------------

template <typename... Formats>
struct FormatList {};

// Every format above, in the same order.
using AllFormats =
    FormatList<MgrInit, MgrAddUser, MgrRemoveUser, MgrSetSharing, MgrSetSpeaker, MgrAddSelectReq, MgrAddPeerReportSelf,
               MgrAddPeerReportStream, NetDump, PeerGetPeerMissing, PeerGetPeerSvcMissing, DftByBitrateOutOfRange,
               DftByBitrateEmptyMap, DftInfoByBitrateOutOfRange, DftInfoByBitrateEmptyMap, DftInfoByDft,
               DftMaxByDftInvalid, DftMinByDftInvalid, DftInit, DftDump, SelectAmendMin, SelectAmendMax,
               SelectCalculateMinBitrate, SelectAdjustRequestsResult, SelectAdjust2TooFew, SelectAdjust2SameDft,
               SelectAdjust2DifferentDft, SelectAdjust3TooFew, SelectAdjust3AllAbove240P, SelectAdjust3All240P,
               SelectAdjust3Two, SelectAdjust4TooFew, SelectAdjust4AllAbove240P, SelectAdjust4All240P, SelectAdjust4Two,
               SelectAdjust4AllClose, SelectAdjust5TooFew, SelectAdjust5AllAbove240P, SelectAdjust5All240P,
               SelectAdjust5Two, SelectAdjust5AllClose, SelectAdjustOthersTooFew, SelectAdjustOthersSameDft,
               SelectDumpStart, SelectDumpRequest, SelectDumpStop, UlShare, UlForceHD, UlDefaultDefinition,
               UlDumpInfosStart, UlDumpInfosStream, UlDumpInfosStop, UlDumpMapStart, UlDumpMapStream, UlDumpMapStop,
               UlLargeMeeting, UlCeiling, UlResult, UlResultSvc, DlAddPeer, DlAddPeerSelf, DlAddPeerNew,
               DlAddPeerInvalid, DlAddPeerChosen, DlAddPeerLowerBigBitrate, DlAddPeerUpperGood, DlChooseUpperSize,
               DlRemovePeer, DlClear, DlGetHDUids, DlAdjustNoPeer, DlAdjustPeerCount, DlRealAdjustEstimate,
               DlRealAdjustLowScore, DlRealAdjustNearMax, DlRealAdjustNormal, DlRealAdjustRequest, DlRealAdjustNoInc,
               DlRealAdjustNoDec, DlUpperBitrateOver2M, DlLowerBitrateMissing, DlSelectIncEmpty, DlSelectDecEmpty,
               DlSelectDecReset, DlIsGoodToIncGood, DlIsGoodToIncMax, DlIsGoodToDecMin, DlIsGoodToDecGood>;

}  // namespace ktrlog

#endif  // KTRSDK_LOG_KTRLOGFORMATS_H
