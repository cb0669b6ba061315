#include "tags/depth_limit.h"

namespace pelorin {
namespace {

int gDepthLimit = kNoDepthLimit;

} // namespace

int SnapshotDepthLimit() {
    return gDepthLimit;
}

void LimitSnapshotsToSubBranchItems() {
    gDepthLimit = 1;
}

} // namespace pelorin
