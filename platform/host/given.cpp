#include "given.h"

#include <windows.h>

#include "device_file.h"
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

bool GivenAliasFile(const Step& step, HostSession& session, std::string& why) {
    const bool none = !step.Arg(0).quoted;
    for (auto& plugin : session.Plugins()) {
        if (!plugin->HasTags())
            continue;
        const std::wstring target = AliasFileBeside(plugin->path);
        const bool there = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (none && there) {
            why = "there is a " + fw::WideToUtf8(target) + ", and the scenario wants none";
            return false;
        }
        if (!none && !there) {
            why = "there is no " + fw::WideToUtf8(target) +
                  " (the test runner puts it there: run the scenario with ./run)";
            return false;
        }
    }
    return true;
}

std::vector<TagData> GivenTags(const Step& step) {
    const long count = std::stol(step.Arg(0).text);
    const std::string pattern = AnsiFromUtf8(step.Arg(1).text);
    std::vector<TagData> tags(static_cast<size_t>(count));
    for (long n = 1; n <= count; ++n) {
        std::string name = pattern;
        for (size_t at = name.find("{n}"); at != std::string::npos; at = name.find("{n}", at))
            name.replace(at, 3, std::to_string(n));
        tags[static_cast<size_t>(n - 1)].name = std::move(name);
    }
    return tags;
}

bool GivenTagsStep(const Step& step, HostSession& session, std::string& why) {
    const std::vector<TagData> tags = GivenTags(step);
    bool found = false;
    for (auto& plugin : session.Plugins()) {
        if (!plugin->HasTags())
            continue;
        if (!plugin->tags.AddCommitted(tags, why))
            return false;
        found = true;
    }
    if (!found)
        why = "no plug-in of this scenario has a tag database";
    return found;
}

bool GivenDatabase(const Step& step, HostSession& session, std::string& why) {
    std::string seed;
    bool readOnly = false;
    for (size_t i = 1; i < step.ArgCount(); ++i) {
        if (step.Arg(i).text == "readonly" && !step.Arg(i).quoted) {
            readOnly = true;
            continue;
        }
        // seed "<file>": SQL beside the scenario.
        const std::wstring& scenario = session.ScenarioFile();
        const std::wstring folder = scenario.substr(0, scenario.find_last_of(L"\\/") + 1);
        std::wstring path = fw::Utf8ToWide(step.Arg(++i).text);
        for (wchar_t& c : path)
            if (c == L'/')
                c = L'\\';
        if (!ReadWholeFile(folder + path, seed)) {
            why = "cannot read the seed " + step.Arg(i).text;
            return false;
        }
    }
    return session.Database().Prepare(session.OutputDirectory(), step.Arg(0).text,
                                      fw::WideToUtf8(session.ScenarioFile()), seed, readOnly, why);
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
    if (!step.Arg(0).quoted) {
        world.noAliasFile = true;
        return true;
    }
    return world.ResolveFile(step.Arg(0).text, world.aliasFile, why);
}

bool WorldDatabase(const Step& step, WorldContext& world, std::string&) {
    // Every scenario with a database runs against a file; those that need no file of their own
    // (a read-only one) run again against the test run's PostgreSQL server.
    bool readOnly = false;
    for (size_t i = 1; i < step.ArgCount(); ++i)
        readOnly = readOnly || (!step.Arg(i).quoted && step.Arg(i).text == "readonly");
    world.lines.push_back(readOnly ? "database\tfile" : "database\tfile\tpostgres");
    return true;
}

} // namespace host
