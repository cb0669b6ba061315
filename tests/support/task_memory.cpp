#include "task_memory.h"

#include <mutex>
#include <set>

#include "counted_object.h"

namespace simtest {

// COM may allocate task memory on its own threads (a local server's calls): the set is locked.
class TaskMemoryWatch::Spy final : public CountedObject<IMallocSpy> {
public:
    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T request) override { return request; }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override {
        if (actual) {
            std::lock_guard<std::mutex> lock(mutex_);
            live_.insert(actual);
            ++made_;
        }
        return actual;
    }
    STDMETHODIMP_(void*) PreFree(void* request, BOOL) override {
        std::lock_guard<std::mutex> lock(mutex_);
        live_.erase(request);
        return request;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override {
        std::lock_guard<std::mutex> lock(mutex_);
        live_.erase(request);
        *newRequest = request;
        return size;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override { return PostAlloc(actual); }
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T actual, BOOL) override { return actual; }
    STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}

    long Live() {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<long>(live_.size());
    }
    long Made() {
        std::lock_guard<std::mutex> lock(mutex_);
        return made_;
    }

private:
    std::mutex mutex_;
    std::set<void*> live_;
    long made_ = 0;
};

TaskMemoryWatch::TaskMemoryWatch() : spy_(new Spy) {
    if (FAILED(CoRegisterMallocSpy(spy_))) {
        spy_->Release();
        spy_ = nullptr;
    }
}

TaskMemoryWatch::~TaskMemoryWatch() {
    if (spy_) {
        CoRevokeMallocSpy();
        spy_->Release();
    }
}

bool TaskMemoryWatch::Active() const {
    return spy_ != nullptr;
}

long TaskMemoryWatch::Live() const {
    return spy_ ? spy_->Live() : -1;
}

long TaskMemoryWatch::Made() const {
    return spy_ ? spy_->Made() : -1;
}

} // namespace simtest
