#include "world_cache.h"

#include "registration.h"

#include <map>
#include <mutex>

namespace opcsim {
namespace {

struct Cached {
    FILETIME written = {};
    DWORD size = 0;
    std::shared_ptr<const World> world;
};
std::mutex g_mutex;
std::map<std::wstring, Cached> g_worlds;

bool LastWrite(const std::wstring& file, FILETIME& written, DWORD& size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data))
        return false;
    written = data.ftLastWriteTime;
    size = data.nFileSizeLow;
    return true;
}

} // namespace

std::shared_ptr<const World> CachedWorld(const std::wstring& file, std::string& error) {
    FILETIME written;
    DWORD size = 0;
    if (!LastWrite(file, written, size)) {
        error = "cannot find " + Narrow(file);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_worlds.find(file);
    if (found != g_worlds.end() && CompareFileTime(&found->second.written, &written) == 0 &&
        found->second.size == size)
        return found->second.world;
    std::shared_ptr<const World> world = LoadWorldFile(file, error);
    if (world)
        g_worlds[file] = Cached{written, size, world};
    return world;
}

std::shared_ptr<const ServerConfig> FindRegisteredServer(const CLSID& clsid) {
    const std::wstring file = RegisteredWorldFile(clsid);
    if (file.empty())
        return nullptr;
    std::string error;
    std::shared_ptr<const World> world = CachedWorld(file, error);
    if (!world) {
        OutputDebugStringA(("opcsim: " + error + "\n").c_str());
        return nullptr;
    }
    return world->Find(clsid);
}

} // namespace opcsim
