// Containers that cross module boundaries: an ordered list of pointers and a growable array.
// Their memory always comes from the framework DLL, so one module may fill a container that
// another module created and later destroys (the host fills the plug-in's tag list and link
// arrays this way).
#pragma once

#include <cstddef>
#include <new>
#include <utility>

#include "fw/export.h"

namespace fw {

// Storage shared by every module; FreeBlock accepts null.
FW_API void* AllocateBlock(size_t bytes) noexcept;
FW_API void FreeBlock(void* block) noexcept;

// An ordered list of pointers. Nodes are taken from blocks of `blockSize` nodes, so that filling
// a long list costs one allocation per block; the list owns its nodes, never what they point to.
class FW_API PtrList {
public:
    struct Node;
    using Position = Node*;

    explicit PtrList(int blockSize = 10) noexcept;
    ~PtrList();
    PtrList(const PtrList&) = delete;
    PtrList& operator=(const PtrList&) = delete;

    int GetCount() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }

    // Null when memory ran out (the list is unchanged then).
    Position AddTail(void* value) noexcept;
    Position AddHead(void* value) noexcept;
    void RemoveAt(Position position) noexcept;
    void RemoveAll() noexcept; // frees every node block

    Position GetHeadPosition() const { return head_; }
    Position GetTailPosition() const { return tail_; }
    // The value at `position`, then `position` moves to the next node (null after the last).
    void* GetNext(Position& position) const noexcept;
    void* GetAt(Position position) const noexcept;
    Position Find(const void* value) const noexcept;
    // The value at a zero-based index, or null outside the list.
    void* GetAtIndex(int index) const noexcept;

private:
    Node* NewNode() noexcept;
    void FreeNode(Node* node) noexcept;

    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    Node* free_ = nullptr;
    void* blocks_ = nullptr; // chain of node blocks
    int count_ = 0;
    int blockSize_;
};

// A growable array of T. Elements are built and destroyed in the calling module; only the
// storage comes from the framework, so the array may change hands between modules as long as
// both use the same T.
template <class T> class Array {
public:
    Array() = default;
    ~Array() { RemoveAll(); }
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;

    int GetSize() const { return size_; }
    bool IsEmpty() const { return size_ == 0; }
    T& operator[](int index) { return data_[index]; }
    const T& operator[](int index) const { return data_[index]; }
    T* GetData() { return data_; }
    const T* GetData() const { return data_; }

    // Index of the new element, or -1 when memory ran out (the array is unchanged then).
    int Add(const T& value) {
        if (size_ == capacity_ && !Grow(size_ + 1))
            return -1;
        new (data_ + size_) T(value);
        return size_++;
    }

    void RemoveAt(int index) {
        if (index < 0 || index >= size_)
            return;
        for (int i = index; i + 1 < size_; ++i)
            data_[i] = std::move(data_[i + 1]);
        data_[--size_].~T();
    }

    void RemoveAll() {
        for (int i = 0; i < size_; ++i)
            data_[i].~T();
        FreeBlock(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
    }

private:
    bool Grow(int needed) {
        int capacity = capacity_ < 4 ? 4 : capacity_ * 2;
        if (capacity < needed)
            capacity = needed;
        T* fresh = static_cast<T*>(AllocateBlock(sizeof(T) * static_cast<size_t>(capacity)));
        if (!fresh)
            return false;
        for (int i = 0; i < size_; ++i) {
            new (fresh + i) T(std::move(data_[i]));
            data_[i].~T();
        }
        FreeBlock(data_);
        data_ = fresh;
        capacity_ = capacity;
        return true;
    }

    T* data_ = nullptr;
    int size_ = 0;
    int capacity_ = 0;
};

} // namespace fw
