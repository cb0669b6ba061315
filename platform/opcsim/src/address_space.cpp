#include "address_space.h"

namespace opcsim {

AddressSpace::AddressSpace() {
    nodes_.emplace_back();
    MakeEnterable(0);
}

NodeIndex AddressSpace::Add(NodeIndex parent, const std::wstring& name,
                            const std::wstring& itemId) {
    const NodeIndex index = static_cast<NodeIndex>(nodes_.size());
    nodes_.emplace_back();
    Node& node = nodes_.back();
    node.name = name;
    node.parent = parent;
    if (!itemId.empty())
        node.itemId = itemId;
    else if (parent == Root())
        node.itemId = name;
    else
        node.itemId = nodes_[parent].itemId + separator_ + name;
    // A parent that was a plain item becomes an item the client can go down into.
    MakeEnterable(parent);
    return index;
}

void AddressSpace::MakeEnterable(NodeIndex index) {
    Node& node = nodes_[index];
    if (node.enterable)
        return;
    node.enterable = std::make_unique<std::unordered_map<std::wstring, NodeIndex>>();
    node.leafByName = std::make_unique<std::unordered_map<std::wstring, NodeIndex>>();
    if (index != Root() && node.parent != kNoNode)
        nodes_[node.parent].enterable->emplace(node.name, index);
}

NodeIndex AddressSpace::AddBranch(NodeIndex parent, const std::wstring& name,
                                  const std::wstring& itemId) {
    const NodeIndex index = Add(parent, name, itemId);
    nodes_[parent].branches.push_back(index);
    MakeEnterable(index);
    branchById_[nodes_[index].itemId] = index;
    return index;
}

NodeIndex AddressSpace::AddItem(NodeIndex parent, const std::wstring& name,
                                const std::wstring& itemId, VARTYPE type, DWORD rights) {
    const NodeIndex index = Add(parent, name, itemId);
    Node& node = nodes_[index];
    node.isItem = true;
    node.type = type;
    node.rights = rights;
    nodes_[parent].leaves.push_back(index);
    (*nodes_[parent].leafByName)[name] = index;
    itemById_[node.itemId] = index;
    ++itemCount_;
    return index;
}

void AddressSpace::SetResults(NodeIndex index, const std::map<std::wstring, HRESULT>& results) {
    nodes_[index].results = std::make_unique<std::map<std::wstring, HRESULT>>(results);
}

bool Node::Forces(const wchar_t* method, HRESULT& result) const {
    if (!results)
        return false;
    auto found = results->find(method);
    if (found == results->end())
        return false;
    result = found->second;
    return true;
}

NodeIndex AddressSpace::FindEnterable(NodeIndex parent, const std::wstring& name) const {
    const auto& map = nodes_[parent].enterable;
    if (!map)
        return kNoNode;
    auto found = map->find(name);
    return found == map->end() ? kNoNode : found->second;
}

NodeIndex AddressSpace::FindLeaf(NodeIndex parent, const std::wstring& name) const {
    const auto& map = nodes_[parent].leafByName;
    if (!map)
        return kNoNode;
    auto found = map->find(name);
    return found == map->end() ? kNoNode : found->second;
}

NodeIndex AddressSpace::FindBranchById(const std::wstring& itemId) const {
    auto found = branchById_.find(itemId);
    return found == branchById_.end() ? kNoNode : found->second;
}

NodeIndex AddressSpace::FindItemById(const std::wstring& itemId) const {
    auto found = itemById_.find(itemId);
    return found == itemById_.end() ? kNoNode : found->second;
}

} // namespace opcsim
