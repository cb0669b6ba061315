// Simulated OPC servers put into the test prefix's registry for as long as a test needs them:
// a world file of the source tree, a world given as JSON text, or one server with a class of its
// own. Several worlds may be registered at once, so that programs running side by side do not
// collide.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace simtest {

// The directory of the running program, with its trailing backslash: the build's bin folder,
// which holds the simulators too.
std::wstring ProgramDirectory();

// The DOS form of a Unix path of the build machine (CMake hands the tests Unix paths).
std::wstring DosPath(const std::string& unixPath);

class SimWorld {
public:
    // A world file of the source tree (a Unix path).
    static std::unique_ptr<SimWorld> FromFile(const std::string& unixPath);
    // A world given as JSON text, written to a temporary file of its own that goes with it.
    static std::unique_ptr<SimWorld> FromText(const std::string& json);
    // A world file that every process holding it shares (ctest runs each case as a process of
    // its own, some at the same time): the first one registers it, the last one to let go
    // removes it.
    static std::unique_ptr<SimWorld> Shared(const std::string& unixPath);

    ~SimWorld();
    SimWorld(const SimWorld&) = delete;
    SimWorld& operator=(const SimWorld&) = delete;

    bool Ready() const { return ready_; }
    // Why the world could not be registered.
    const std::string& Error() const { return error_; }

private:
    SimWorld() = default;
    void Register();

    std::wstring file_;
    bool ready_ = false;
    bool temporary_ = false; // the file is ours to delete
    std::string error_;
    // Shared worlds: the lock is held while registering or removing; the users event is open
    // while this process uses the world.
    HANDLE lock_ = nullptr;
    HANDLE users_ = nullptr;
    std::wstring usersName_;
};

// One server with a class id and ProgID made for it ("<prefix>.<8 hex digits>"), so that tests
// running side by side never share a server or its process. `members` are the JSON members of
// the server besides its ProgID and class id: "space" (required), "activation", "faults", ...
class PrivateServer {
public:
    PrivateServer(const std::string& prefix, const std::string& members);

    bool Ready() const { return world_ && world_->Ready(); }
    std::string Error() const { return world_ ? world_->Error() : "no class id could be made"; }
    const CLSID& ClassId() const { return clsid_; }
    const std::wstring& ProgId() const { return progId_; }

private:
    CLSID clsid_ = {};
    std::wstring progId_;
    std::unique_ptr<SimWorld> world_;
};

} // namespace simtest
