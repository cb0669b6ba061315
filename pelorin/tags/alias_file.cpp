#include "tags/alias_file.h"

#include <cstring>

#include "entry/module_state.h"

namespace pelorin {
namespace {

// Read size of the file; lines may be longer.
constexpr DWORD kReadChunk = 4096;

// Splits a stream of bytes into lines and lines into entries.
class AliasReader {
public:
    explicit AliasReader(AliasMap& aliases) : aliases_(aliases) {}

    void Feed(const char* bytes, size_t size) {
        const char* end = bytes + size;
        while (bytes < end) {
            const char* newline = static_cast<const char*>(
                std::memchr(bytes, '\n', static_cast<size_t>(end - bytes)));
            if (!newline) {
                line_.append(bytes, end);
                return;
            }
            line_.append(bytes, newline);
            if (!line_.empty() && line_.back() == '\r')
                line_.pop_back(); // the "\r\n" of a text file ends the line as one
            Enter();
            bytes = newline + 1;
        }
    }
    // A last line without its line end still counts; nothing after the last line end does.
    void Finish() {
        if (!line_.empty())
            Enter();
    }

private:
    void Enter() {
        // ";" is a single byte that no double-byte character of code page 936 contains.
        const size_t split = line_.find(';');
        if (split == std::string::npos)
            aliases_[std::string()] = line_;
        else
            aliases_[line_.substr(0, split)] = line_.substr(split + 1);
        line_.clear();
    }

    AliasMap& aliases_;
    std::string line_;
};

// A path the file functions take at any length.
std::wstring ExtendedPath(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    if (path.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

} // namespace

std::wstring ModuleFilePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        // A path that filled the buffer may have been cut: try again with more room.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768)
            return std::wstring();
        path.resize(path.size() * 2);
    }
}

std::wstring AliasFilePath(const std::wstring& modulePath) {
    std::wstring path = modulePath;
    const size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos && slash > 0)
        path.erase(slash + 1);
    return path + kAliasFileName;
}

void ParseAliasText(const std::string& text, AliasMap& aliases) {
    AliasReader reader(aliases);
    reader.Feed(text.data(), text.size());
    reader.Finish();
}

bool ReadAliasFile(const std::wstring& path, AliasMap& aliases) {
    const HANDLE file = CreateFileW(ExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    struct Closer {
        HANDLE file;
        ~Closer() { CloseHandle(file); }
    } closer{file};
    AliasMap read;
    AliasReader reader(read);
    char chunk[kReadChunk];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &read, nullptr))
            return false;
        if (read == 0)
            break;
        reader.Feed(chunk, read);
    }
    reader.Finish();
    for (auto& entry : read)
        aliases[entry.first] = std::move(entry.second);
    return true;
}

void LoadAliasFile(AliasMap& aliases, const MessageSink& show) {
    const std::wstring path = AliasFilePath(ModuleFilePath(ModuleInstance()));
    if (!ReadAliasFile(path, aliases) && show)
        show(path);
}

std::string AliasOf(const AliasMap& aliases, const std::string& branch) {
    const auto found = aliases.find(branch);
    return found == aliases.end() ? std::string() : found->second;
}

} // namespace pelorin
