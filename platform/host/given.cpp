#include "given.h"

#include <windows.h>

#include "fw/resources.h"
#include "fw/string.h"
#include "session.h"
#include "tag_file.h"
#include "world.h"

namespace host {

bool GivenField(const Step& step, HostSession& session, std::string& why) {
    const std::string& name = step.Arg(0).text;
    auto& plugins = session.Plugins();
    bool found = false;
    for (auto& plugin : plugins) {
        // With one plug-in its record explains a wrong name; with several, only those that
        // have the field get it.
        if (plugins.size() > 1 && !plugin->record->Layout().Field(name))
            continue;
        if (!plugin->record->SetField(name, step.Arg(1), why))
            return false;
        found = true;
    }
    if (!found)
        why = "no plug-in of this scenario has a field '" + name + "'";
    return found;
}

TagData GivenTag(const Step& step) {
    TagData tag;
    tag.name = AnsiFromUtf8(step.Arg(0).text);
    for (size_t i = 1; i < step.ArgCount(); ++i) {
        const std::string& word = step.Arg(i).text;
        if (word == "hidden") {
            tag.hidden = true;
            continue;
        }
        LinkData link;
        link.parameter = word == "pv" ? "PV" : "DESC";
        link.item = AnsiFromUtf8(step.Arg(++i).text);
        tag.links.push_back(link);
    }
    return tag;
}

bool GivenTagStep(const Step& step, HostSession& session, std::string& why) {
    bool found = false;
    for (auto& plugin : session.Plugins()) {
        if (!plugin->HasTags())
            continue;
        if (!plugin->tags.AddCommitted(GivenTag(step), why))
            return false;
        found = true;
    }
    if (!found)
        why = "no plug-in of this scenario has a tag database";
    return found;
}

bool GivenLang(const Step& step, HostSession&, std::string& why) {
    const WORD primary = PRIMARYLANGID(fw::PreferredLanguage());
    const std::string& lang = step.Arg(0).text;
    if ((lang == "en" && primary != LANG_ENGLISH) || (lang == "zh" && primary != LANG_CHINESE)) {
        why = "the scenario needs --lang " + lang;
        return false;
    }
    return true;
}

bool GivenPlugins(const Step& step, HostSession& session, std::string& why) {
    std::string wanted;
    for (size_t i = 0; i < step.ArgCount(); ++i)
        wanted += (wanted.empty() ? "" : ", ") + step.Arg(i).text;
    if (wanted != session.Names()) {
        why =
            "the scenario needs the plug-ins " + wanted + " (the host has " + session.Names() + ")";
        return false;
    }
    return true;
}

bool GivenAliasFile(const Step&, HostSession& session, std::string& why) {
    for (auto& plugin : session.Plugins()) {
        if (!plugin->HasTags())
            continue;
        const std::wstring target = AliasFileBeside(plugin->path);
        if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
            why = "there is no " + fw::WideToUtf8(target) +
                  " (the test runner puts it there: run the scenario with ./run)";
            return false;
        }
    }
    return true;
}

bool WorldLang(const Step& step, WorldContext& world, std::string&) {
    world.lang = step.Arg(0).text;
    return true;
}

bool WorldPlugins(const Step& step, WorldContext& world, std::string&) {
    for (size_t i = 0; i < step.ArgCount(); ++i)
        world.plugins.push_back(step.Arg(i).text);
    return true;
}

bool WorldFile(const Step& step, WorldContext& world, std::string& why) {
    std::wstring path;
    if (!world.ResolveFile(step.Arg(0).text, path, why))
        return false;
    world.lines.push_back(step.words[1].text + "\t" + fw::WideToUtf8(path));
    return true;
}

bool WorldBrowser(const Step& step, WorldContext& world, std::string&) {
    world.lines.push_back("browser\t" + step.Arg(0).text);
    return true;
}

bool WorldAliasFile(const Step& step, WorldContext& world, std::string& why) {
    return world.ResolveFile(step.Arg(0).text, world.aliasFile, why);
}

} // namespace host
