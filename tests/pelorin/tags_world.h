// What the tag tests share besides their environment (plugin_environment.cpp, with the
// simulated servers of worlds/tags.json): a server under test with its counters, and a browse
// interface that records every call our code makes on the way to the simulated server.
#pragma once

#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "sim_server.h"
#include "tags/browse_node.h"
#include "task_memory.h"

namespace tagtest {

using Microsoft::WRL::ComPtr;

// Texts in the ANSI code page, as the plug-in has them (narrow literals here are UTF-8).
std::wstring Wide(const std::string& ansi);
std::string Ansi(const std::wstring& wide);

// A simulated server of the tag world, created as the item link dialog creates one, with the
// browse interface held the way the dialog holds it.
class ServerUnderTest {
public:
    explicit ServerUnderTest(const wchar_t* progId);
    bool Ready() const { return browse != nullptr && stats != nullptr; }
    long Calls(const wchar_t* method) const { return simtest::CallsOf(stats.Get(), method); }
    long Nexts() const { return Calls(L"IEnumString::Next"); }
    long Moves() const { return Calls(L"IOPCBrowseServerAddressSpace::ChangeBrowsePosition"); }
    long Listings() const { return Calls(L"IOPCBrowseServerAddressSpace::BrowseOPCItemIDs"); }
    long ItemIdCalls() const { return Calls(L"IOPCBrowseServerAddressSpace::GetItemID"); }
    // The branch names the server lists at its current browse position.
    std::vector<std::wstring> BranchesHere() const;
    // Lets the server go; true when it holds nothing of ours afterwards.
    ::testing::AssertionResult ReleaseAndExpectNothingOutstanding();

    pelorin::BrowseInterface browse;
    ComPtr<IOpcSimStats> stats;
};

// The root's branches of worlds/tags.json's "plant" space, in order.
std::vector<std::wstring> PlantRootBranches();

using simtest::TaskMemoryWatch;

// One call of our code on the browse interface or one of its enumerators, as text:
// "down Name" (result appended when it failed: "down Name refused"), "up", "branches",
// "leaves", "next 100 -> 50" and "id Name".
using CallLog = std::vector<std::string>;

// A browse interface that passes every call to `inner` and logs it.
ComPtr<IOPCBrowseServerAddressSpace> Recording(IOPCBrowseServerAddressSpace* inner, CallLog& log);

// The item ids of a node's leaf list, and the names of its lists.
std::vector<std::string> ItemIds(const pelorin::BrowseNode::List& list);
std::vector<std::string> Names(const pelorin::BrowseNode::List& list);
// Nodes in a tree, and its greatest depth.
size_t CountNodes(const pelorin::BrowseNode& node);
int MaxDepth(const pelorin::BrowseNode& node);

} // namespace tagtest
