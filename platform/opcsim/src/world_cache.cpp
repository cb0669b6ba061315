#include "world_cache.h"

#include "registration.h"

#include <map>
#include <mutex>

namespace opcsim {
namespace {

struct Cached {
    FILETIME written = {};
    std::shared_ptr<const World> world;
};
std::mutex g_mutex;
std::map<std::wstring, Cached> g_worlds;

bool LastWrite(const std::wstring& file, FILETIME& written) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data))
        return false;
    written = data.ftLastWriteTime;
    return true;
}

} // namespace

std::shared_ptr<const World> CachedWorld(const std::wstring& file, std::string& error) {
    FILETIME written;
    if (!LastWrite(file, written)) {
        error = "cannot find " + Narrow(file);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_worlds.find(file);
    if (found != g_worlds.end() && CompareFileTime(&found->second.written, &written) == 0)
        return found->second.world;
    std::shared_ptr<const World> world = LoadWorldFile(file, error);
    if (world)
        g_worlds[file] = Cached{written, world};
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
