#include "network_tree.h"

#include <winnetwk.h>

#include <cstdio>

#include <nlohmann/json.hpp>

namespace netprovider {
namespace {

using nlohmann::json;

struct ParseError {
    std::string text;
};

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], length);
    return out;
}

std::wstring Text(const json& object, const char* key, const std::wstring& fallback) {
    auto found = object.find(key);
    if (found == object.end())
        return fallback;
    if (!found->is_string())
        throw ParseError{std::string(key) + " must be a string"};
    return Widen(found->get<std::string>());
}

Failure FailureOf(const json& object) {
    const std::wstring fail = Text(object, "fail", L"");
    if (fail.empty())
        return Failure::None;
    if (fail == L"open")
        return Failure::Open;
    if (fail == L"enum")
        return Failure::Enumerate;
    throw ParseError{"fail is \"open\" or \"enum\""};
}

NetEntry Computer(const json& entry) {
    NetEntry computer;
    computer.displayType = RESOURCEDISPLAYTYPE_SERVER;
    computer.usage = RESOURCEUSAGE_CONTAINER;
    if (entry.is_string()) {
        computer.remoteName = Widen(entry.get<std::string>());
        return computer;
    }
    if (!entry.is_object())
        throw ParseError{"a computer is a remote name or an object"};
    computer.remoteName = Text(entry, "name", L"");
    computer.comment = Text(entry, "comment", L"");
    const std::wstring display = Text(entry, "display", L"server");
    if (display == L"share")
        computer.displayType = RESOURCEDISPLAYTYPE_SHARE;
    else if (display == L"generic")
        computer.displayType = RESOURCEDISPLAYTYPE_GENERIC;
    else if (display != L"server")
        throw ParseError{"display is server, share or generic"};
    auto container = entry.find("container");
    if (container != entry.end() && container->is_boolean() && !container->get<bool>())
        computer.usage = RESOURCEUSAGE_CONNECTABLE;
    return computer;
}

NetEntry Group(const json& entry) {
    if (!entry.is_object())
        throw ParseError{"a workgroup or domain is an object"};
    NetEntry group;
    group.remoteName = Text(entry, "name", L"");
    if (group.remoteName.empty())
        throw ParseError{"a workgroup or domain needs a name"};
    group.comment = Text(entry, "comment", L"");
    group.displayType = RESOURCEDISPLAYTYPE_DOMAIN;
    group.usage = RESOURCEUSAGE_CONTAINER;
    group.failure = FailureOf(entry);
    auto computers = entry.find("computers");
    if (computers != entry.end()) {
        if (!computers->is_array())
            throw ParseError{"computers must be a list"};
        for (const json& computer : *computers)
            group.children.push_back(Computer(computer));
    }
    return group;
}

} // namespace

std::shared_ptr<NetworkTree> ParseTree(const std::string& text, std::string& error) {
    try {
        const json document = json::parse(text);
        if (!document.is_object())
            throw ParseError{"the file must hold one JSON object"};
        auto tree = std::make_shared<NetworkTree>();
        tree->top.displayType = RESOURCEDISPLAYTYPE_NETWORK;
        tree->top.usage = RESOURCEUSAGE_CONTAINER;
        tree->top.failure = FailureOf(document);
        auto groups = document.find("groups");
        if (groups != document.end()) {
            if (!groups->is_array())
                throw ParseError{"groups must be a list"};
            for (const json& group : *groups)
                tree->top.children.push_back(Group(group));
        }
        return tree;
    } catch (const ParseError& e) {
        error = e.text;
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

std::shared_ptr<NetworkTree> LoadTreeFile(const std::wstring& path, std::string& error) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file) {
        error = "cannot open the network file";
        return nullptr;
    }
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    std::fclose(file);
    return ParseTree(text, error);
}

} // namespace netprovider
