// How deep a snapshot of a top-level branch reaches: one setting for the whole loaded plug-in.
// It starts without a bound; the hidden Advance button of the item link dialog sets it to 1 (a
// snapshot then takes only the items two levels below the server's root), and nothing sets it
// back while the plug-in stays loaded.
#pragma once

namespace pelorin {

constexpr int kNoDepthLimit = -1;

// kNoDepthLimit, or the depth from which a snapshot takes items instead of sub-branches.
int SnapshotDepthLimit();
// Sets the limit to 1 for the rest of the plug-in's life.
void LimitSnapshotsToSubBranchItems();

} // namespace pelorin
