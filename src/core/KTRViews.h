// What each sub-object reads of its siblings. The manager hands every policy its view once all siblings
// exist; a view is a plain struct of references, so the compiler refuses any reach it does not give.
// The definition table is writable in every view because its record lookups create a missing entry.
#ifndef KTRSDK_CORE_KTRVIEWS_H
#define KTRSDK_CORE_KTRVIEWS_H

#include "IKTRSDK.h"

class KTRDFTMap;
class KTRNetMgr;
class KTRPeerMgr;
class KTRSceneInfo;
class KTRSelectMgr;

// The select manager amends requests into the table's range and sets each stream's floor from the
// speaker, the local device type and force-HD.
struct KTRSelectView {
    const tarn::video::KTRConfig& config;
    const KTRSceneInfo& scene;
    KTRDFTMap& dfts;
};

// The upload policy weighs the merged requests against the scene default.
struct KTRULView {
    const tarn::video::KTRConfig& config;
    const KTRSceneInfo& scene;
    KTRDFTMap& dfts;
    const KTRSelectMgr& selects;
};

// The download policy chooses and adjusts each peer's stream from its published streams and the download
// estimate.
struct KTRDLView {
    const KTRSceneInfo& scene;
    const KTRPeerMgr& peers;
    const KTRNetMgr& dlNet;
    KTRDFTMap& dfts;
};

#endif  // KTRSDK_CORE_KTRVIEWS_H
