// UI scenario files: one step a line, `#` comments, quoted texts with \n \r \" \\ escapes. The
// steps and their arguments are those of the step table (steps.h).
#pragma once

#include <string>
#include <vector>

#include "record.h"

namespace host {

struct StepEntry;

struct Step {
    int line = 0;
    std::string source;            // the line as written, for messages
    std::vector<FieldValue> words; // first word is the verb; quoted words keep quoted=true
    const StepEntry* entry = nullptr;
    const std::string& Verb() const { return words[0].text; }
    // "expect text" etc.: the verb with its first argument.
    std::string Kind() const;
    // The index of the first argument after the step's name.
    size_t First() const;
    // The argument `index` after the name (0 based).
    const FieldValue& Arg(size_t index) const { return words[First() + index]; }
    size_t ArgCount() const { return words.size() - First(); }
};

struct Scenario {
    std::vector<Step> given; // steps applied before the plug-in is called
    std::vector<Step> steps; // steps the robot runs while and after it is called
    // True when the scenario says which plug-in each call goes to (`call`); otherwise the host
    // calls its first plug-in once when the scenario starts.
    bool namesCalls = false;
};

// Parses and checks every line (known steps, their arguments, the order of calls). False with a
// message naming the line on the first problem.
bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error);

// Splits one line into words; false on an unterminated quote or a bad escape.
bool SplitWords(const std::string& line, std::vector<FieldValue>& words, std::string& error);

} // namespace host
