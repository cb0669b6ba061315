// The table of scenario steps: for each step its usage line (name and argument shapes, see
// step_syntax.h), a one-line description and what carries it out. Parsing, the robot's dispatch,
// the `given` handling, what the test runner is told (host --world) and the README's list
// (host --steps) all come from this one table.
#pragma once

#include <string>
#include <vector>

namespace host {

class HostSession;
class Robot;
struct Step;
struct WorldContext;

// Run by the robot's thread while and after the plug-in is called.
using RobotHandler = bool (Robot::*)(const Step& step, std::string& why);
// Applied by the host to records and tags before the first call.
using GivenHandler = bool (*)(const Step& step, HostSession& session, std::string& why);
// Tells the test runner what to set up before the host starts (host --world).
using WorldHandler = bool (*)(const Step& step, WorldContext& world, std::string& why);
// Checks what the usage line cannot say (an empty text where one is needed).
using ExtraCheck = bool (*)(const Step& step, std::string& why);

struct StepEntry {
    const char* usage; // null for a section title
    const char* help;  // one line; the section's title for a section
    RobotHandler robot;
    GivenHandler given;
    WorldHandler world;
    ExtraCheck extra;

    // "type", "expect text", "given field": the words before the first argument.
    std::string Name() const;
    // The usage line without the name.
    std::string Arguments() const;
};

const std::vector<StepEntry>& StepTable();
// The step of that name ("click", "expect text"), or null.
const StepEntry* FindStep(const std::string& name);
// The list of steps as `host --steps` prints it and the README shows it.
std::string StepList();

} // namespace host
