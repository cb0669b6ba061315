// The `given` steps: what the host applies to records and tags before the first call, what it
// checks about how it was started, and what it tells the test runner to set up (host --world).
#pragma once

#include <string>
#include <vector>

#include "scenario.h"
#include "tagdb.h"

namespace host {

class HostSession;
struct WorldContext;

// Applied by the host before the first call.
bool GivenField(const Step& step, HostSession& session, std::string& why);
bool GivenTagStep(const Step& step, HostSession& session, std::string& why);
bool GivenLang(const Step& step, HostSession& session, std::string& why);
bool GivenPlugins(const Step& step, HostSession& session, std::string& why);
bool GivenAliasFile(const Step& step, HostSession& session, std::string& why);
bool GivenTagsStep(const Step& step, HostSession& session, std::string& why);
bool GivenDatabase(const Step& step, HostSession& session, std::string& why);

// For the test runner.
bool WorldLang(const Step& step, WorldContext& world, std::string& why);
bool WorldPlugins(const Step& step, WorldContext& world, std::string& why);
bool WorldFile(const Step& step, WorldContext& world, std::string& why); // servers, network
bool WorldBrowser(const Step& step, WorldContext& world, std::string& why);
bool WorldAliasFile(const Step& step, WorldContext& world, std::string& why);
bool WorldDatabase(const Step& step, WorldContext& world, std::string& why);

// The tag a checked `given tag` step describes (texts in the ANSI code page).
TagData GivenTag(const Step& step);
// The tags a checked `given tags` step describes: `{n}` in the name counts from 1.
std::vector<TagData> GivenTags(const Step& step);

} // namespace host
