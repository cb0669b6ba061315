#include "tags_world.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "config.h"
#include "fw/resources.h"
#include "registration.h"
#include "session/ansi_text.h"

namespace tagtest {
namespace {

// Every test process holds this event while it runs; the last one to go removes the world.
const wchar_t kUsers[] = L"PelorinTagsWorldUsers";
const wchar_t kLock[] = L"PelorinTagsWorldLock";

std::wstring DosPath(const std::string& unixPath) {
    using ToDos = LPWSTR(CDECL*)(LPCSTR);
    auto toDos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos) {
        if (LPWSTR dos = toDos(unixPath.c_str())) {
            std::wstring out = dos;
            HeapFree(GetProcessHeap(), 0, dos);
            return out;
        }
    }
    return opcsim::Widen(unixPath);
}

class TagWorldEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        // pelorin's string table is linked into the test program, as into the plug-in.
        ASSERT_TRUE(fw::InitExtensionModule(extension_, GetModuleHandleW(nullptr)));
        fw::AddResourceModule(extension_);
        file_ = DosPath(TAGS_TEST_WORLD);
        lock_ = CreateMutexW(nullptr, FALSE, kLock);
        ASSERT_NE(lock_, nullptr);
        WaitForSingleObject(lock_, INFINITE);
        if (HANDLE other = OpenEventW(SYNCHRONIZE, FALSE, kUsers)) {
            CloseHandle(other); // registered by a test process that still runs
        } else {
            std::string error;
            auto world = opcsim::LoadWorldFile(file_, error);
            EXPECT_TRUE(world) << error;
            if (world) {
                const opcsim::Binaries binaries{ProgramDirectory() + L"opcsim.dll",
                                                ProgramDirectory() + L"opcsimsrv.exe"};
                EXPECT_TRUE(opcsim::RegisterWorld(*world, file_, binaries, error)) << error;
            }
        }
        users_ = CreateEventW(nullptr, TRUE, FALSE, kUsers);
        ReleaseMutex(lock_);
    }

    void TearDown() override {
        WaitForSingleObject(lock_, INFINITE);
        CloseHandle(users_);
        if (HANDLE other = OpenEventW(SYNCHRONIZE, FALSE, kUsers))
            CloseHandle(other);
        else
            opcsim::UnregisterWorld(file_);
        ReleaseMutex(lock_);
        CloseHandle(lock_);
        fw::TermExtensionModule(extension_);
        OleUninitialize();
    }

private:
    fw::ExtensionModule extension_;
    std::wstring file_;
    HANDLE lock_ = nullptr;
    HANDLE users_ = nullptr;
};

::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new TagWorldEnvironment);

// ------------------------------------------------------------------ recording browse interface

template <class Interface> class Counted : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Interface))) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&references_);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }
    virtual ~Counted() = default;

private:
    LONG references_ = 0;
};

std::string Narrow(const wchar_t* wide) {
    return wide ? pelorin::WideToAnsi(wide) : std::string("(null)");
}

std::string Failure(HRESULT hr) {
    if (hr == S_OK)
        return "";
    if (hr == S_FALSE)
        return " S_FALSE";
    return SUCCEEDED(hr) ? " success" : " refused";
}

class RecordingEnum final : public Counted<IEnumString> {
public:
    RecordingEnum(ComPtr<IEnumString> inner, CallLog& log) : inner_(std::move(inner)), log_(log) {}
    STDMETHODIMP Next(ULONG count, LPOLESTR* names, ULONG* fetched) override {
        ULONG got = 0;
        const HRESULT hr = inner_->Next(count, names, &got);
        if (fetched)
            *fetched = got;
        log_.push_back("next " + std::to_string(count) + " -> " + std::to_string(got) +
                       Failure(hr));
        return hr;
    }
    STDMETHODIMP Skip(ULONG count) override { return inner_->Skip(count); }
    STDMETHODIMP Reset() override { return inner_->Reset(); }
    STDMETHODIMP Clone(IEnumString** copy) override { return inner_->Clone(copy); }

private:
    ComPtr<IEnumString> inner_;
    CallLog& log_;
};

class RecordingBrowse final : public Counted<IOPCBrowseServerAddressSpace> {
public:
    RecordingBrowse(IOPCBrowseServerAddressSpace* inner, CallLog& log) : inner_(inner), log_(log) {}
    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* type) override {
        return inner_->QueryOrganization(type);
    }
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION direction, LPCWSTR name) override {
        const HRESULT hr = inner_->ChangeBrowsePosition(direction, name);
        log_.push_back((direction == OPC_BROWSE_UP ? std::string("up") : "down " + Narrow(name)) +
                       Failure(hr));
        return hr;
    }
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE dataType,
                                  DWORD rights, LPENUMSTRING* names) override {
        ComPtr<IEnumString> inner;
        const HRESULT hr =
            inner_->BrowseOPCItemIDs(type, filter, dataType, rights, inner.GetAddressOf());
        std::string text = type == OPC_BRANCH ? "branches" : type == OPC_LEAF ? "leaves" : "flat";
        if (!(type == OPC_BRANCH && filter && std::wstring(filter) == L"*") &&
            !(type == OPC_LEAF && filter && !*filter))
            text += " filter " + Narrow(filter);
        if (dataType != VT_EMPTY || rights != 0)
            text += " typed";
        log_.push_back(text + Failure(hr));
        if (names) {
            *names = nullptr;
            if (inner) {
                ComPtr<IEnumString> wrapped(new RecordingEnum(inner, log_));
                *names = wrapped.Detach();
            }
        }
        return hr;
    }
    STDMETHODIMP GetItemID(LPWSTR name, LPWSTR* itemId) override {
        const HRESULT hr = inner_->GetItemID(name, itemId);
        log_.push_back("id " + Narrow(name) + Failure(hr));
        return hr;
    }
    STDMETHODIMP BrowseAccessPaths(LPCWSTR itemId, LPENUMSTRING* paths) override {
        return inner_->BrowseAccessPaths(itemId, paths);
    }

private:
    ComPtr<IOPCBrowseServerAddressSpace> inner_;
    CallLog& log_;
};

} // namespace

// ------------------------------------------------------------------ task memory watch

// COM may allocate task memory on its own threads (a local server's calls), so the set is locked.
class TaskMemoryWatch::Spy final : public Counted<IMallocSpy> {
public:
    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T request) override { return request; }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override {
        if (actual) {
            std::lock_guard<std::mutex> lock(mutex_);
            live_.insert(actual);
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
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override {
        if (actual) {
            std::lock_guard<std::mutex> lock(mutex_);
            live_.insert(actual);
        }
        return actual;
    }
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

private:
    std::mutex mutex_;
    std::set<void*> live_;
};

TaskMemoryWatch::TaskMemoryWatch() : spy_(new Spy) {
    spy_->AddRef();
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

long TaskMemoryWatch::Outstanding() const {
    return spy_ ? spy_->Live() : -1;
}

// ------------------------------------------------------------------ servers

std::wstring ProgramDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

std::wstring Wide(const std::string& ansi) {
    return pelorin::AnsiToWide(ansi);
}

std::string Ansi(const std::wstring& wide) {
    return pelorin::WideToAnsi(wide.c_str());
}

ServerUnderTest::ServerUnderTest(const wchar_t* progId) {
    ComPtr<IUnknown> server;
    if (FAILED(opctest::CreateServer(progId, IID_PPV_ARGS(&server))))
        return;
    stats = opctest::StatsOf(server.Get());
    server.As(&browse);
}

std::vector<std::wstring> ServerUnderTest::BranchesHere() const {
    ComPtr<IEnumString> names;
    if (!browse || FAILED(browse->BrowseOPCItemIDs(OPC_BRANCH, L"*", VT_EMPTY, 0, &names)) ||
        !names)
        return {};
    return opctest::ReadAll(names.Get(), 100);
}

::testing::AssertionResult ServerUnderTest::ReleaseAndExpectNothingOutstanding() {
    browse.Reset();
    const opctest::Outstanding left = opctest::OutstandingOf(stats.Get());
    if (left.objects == 0 && left.references == 0 && left.sinks == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the server still holds objects=" << left.objects << " references=" << left.references
           << " sinks=" << left.sinks;
}

std::vector<std::wstring> PlantRootBranches() {
    return {L"Bulk",  L"Exact",  L"Channel1", L"Plant", L"Dups",
            L"Names", L"锅炉房", L"Hollow",   L"Evil"};
}

ComPtr<IOPCBrowseServerAddressSpace> Recording(IOPCBrowseServerAddressSpace* inner, CallLog& log) {
    return ComPtr<IOPCBrowseServerAddressSpace>(new RecordingBrowse(inner, log));
}

std::vector<std::string> ItemIds(const pelorin::BrowseNode::List& list) {
    std::vector<std::string> ids;
    for (const auto& node : list)
        ids.push_back(node->ItemId());
    return ids;
}

std::vector<std::string> Names(const pelorin::BrowseNode::List& list) {
    std::vector<std::string> names;
    for (const auto& node : list)
        names.push_back(node->Name());
    return names;
}

size_t CountNodes(const pelorin::BrowseNode& node) {
    size_t count = 1;
    for (const auto* list : {&node.Branches(), &node.Leaves(), &node.NestedItems()})
        for (const auto& child : *list)
            count += CountNodes(*child);
    return count;
}

int MaxDepth(const pelorin::BrowseNode& node) {
    int deepest = node.Depth();
    for (const auto* list : {&node.Branches(), &node.Leaves(), &node.NestedItems()})
        for (const auto& child : *list)
            deepest = std::max(deepest, MaxDepth(*child));
    return deepest;
}

} // namespace tagtest
