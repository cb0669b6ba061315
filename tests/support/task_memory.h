// Counts the task-allocator blocks (CoTaskMemAlloc: the strings and arrays servers hand out)
// made and not yet freed while the watch is registered, as an IMallocSpy.
#pragma once

namespace simtest {

class TaskMemoryWatch {
public:
    TaskMemoryWatch();
    ~TaskMemoryWatch();
    TaskMemoryWatch(const TaskMemoryWatch&) = delete;
    TaskMemoryWatch& operator=(const TaskMemoryWatch&) = delete;

    // False when CoRegisterMallocSpy refused (another spy is registered).
    bool Active() const;
    // Blocks allocated since the watch began and not yet freed (-1 when not active).
    long Live() const;
    // Blocks allocated since the watch began (-1 when not active).
    long Made() const;

private:
    class Spy;
    Spy* spy_;
};

} // namespace simtest
