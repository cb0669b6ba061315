#include "fw/collections.h"

#include <cstdlib>

namespace fw {

struct PtrList::Node {
    Node* next;
    Node* previous;
    void* value;
};

namespace {

// A block of nodes starts with the link to the previous block; the nodes follow it.
struct BlockHeader {
    BlockHeader* next;
};

} // namespace

void* AllocateBlock(size_t bytes) noexcept {
    return bytes ? std::malloc(bytes) : nullptr;
}
void FreeBlock(void* block) noexcept {
    std::free(block);
}

PtrList::PtrList(int blockSize) noexcept : blockSize_(blockSize > 0 ? blockSize : 10) {}

PtrList::~PtrList() {
    RemoveAll();
}

PtrList::Node* PtrList::NewNode() noexcept {
    if (!free_) {
        const size_t count = static_cast<size_t>(blockSize_);
        if (count > (static_cast<size_t>(-1) - sizeof(BlockHeader)) / sizeof(Node))
            return nullptr; // a block that large cannot be asked for
        const size_t bytes = sizeof(BlockHeader) + sizeof(Node) * count;
        auto* block = static_cast<BlockHeader*>(AllocateBlock(bytes));
        if (!block)
            return nullptr;
        block->next = static_cast<BlockHeader*>(blocks_);
        blocks_ = block;
        // Thread the new nodes onto the free chain, first node on top.
        Node* nodes = reinterpret_cast<Node*>(block + 1);
        for (int i = blockSize_ - 1; i >= 0; --i) {
            nodes[i].next = free_;
            free_ = &nodes[i];
        }
    }
    Node* node = free_;
    free_ = node->next;
    return node;
}

void PtrList::FreeNode(Node* node) noexcept {
    node->next = free_;
    free_ = node;
    if (--count_ == 0)
        RemoveAll(); // an empty list keeps no blocks
}

PtrList::Position PtrList::AddTail(void* value) noexcept {
    Node* node = NewNode();
    if (!node)
        return nullptr;
    node->value = value;
    node->next = nullptr;
    node->previous = tail_;
    if (tail_)
        tail_->next = node;
    else
        head_ = node;
    tail_ = node;
    ++count_;
    return node;
}

PtrList::Position PtrList::AddHead(void* value) noexcept {
    Node* node = NewNode();
    if (!node)
        return nullptr;
    node->value = value;
    node->previous = nullptr;
    node->next = head_;
    if (head_)
        head_->previous = node;
    else
        tail_ = node;
    head_ = node;
    ++count_;
    return node;
}

void PtrList::RemoveAt(Position position) noexcept {
    if (!position)
        return;
    if (position->previous)
        position->previous->next = position->next;
    else
        head_ = position->next;
    if (position->next)
        position->next->previous = position->previous;
    else
        tail_ = position->previous;
    FreeNode(position);
}

void PtrList::RemoveAll() noexcept {
    auto* block = static_cast<BlockHeader*>(blocks_);
    while (block) {
        BlockHeader* next = block->next;
        FreeBlock(block);
        block = next;
    }
    blocks_ = nullptr;
    head_ = tail_ = free_ = nullptr;
    count_ = 0;
}

void* PtrList::GetNext(Position& position) const noexcept {
    Node* node = position;
    position = node->next;
    return node->value;
}

void* PtrList::GetAt(Position position) const noexcept {
    return position ? position->value : nullptr;
}

PtrList::Position PtrList::Find(const void* value) const noexcept {
    for (Node* node = head_; node; node = node->next)
        if (node->value == value)
            return node;
    return nullptr;
}

void* PtrList::GetAtIndex(int index) const noexcept {
    if (index < 0 || index >= count_)
        return nullptr;
    Node* node = head_;
    while (index-- > 0)
        node = node->next;
    return node->value;
}

} // namespace fw
