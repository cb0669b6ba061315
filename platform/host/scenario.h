// UI scenario files: one step a line, `#` comments, quoted texts with \n \r \" \\ escapes.
#pragma once

#include <string>
#include <vector>

#include "record.h"

namespace host {

struct Step {
    int line = 0;
    std::string source;            // the line as written, for messages
    std::vector<FieldValue> words; // first word is the verb; quoted words keep quoted=true
    const std::string& Verb() const { return words[0].text; }
    // "expect text" etc.: the verb with its first argument.
    std::string Kind() const;
};

struct Scenario {
    std::vector<Step> given; // steps applied before the plug-in is called
    std::vector<Step> steps; // steps the robot runs while and after it is called
};

// Parses and checks every line (known verbs, argument counts and forms). False with a message
// naming the line on the first problem.
bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error);

// Splits one line into words; false on an unterminated quote or a bad escape.
bool SplitWords(const std::string& line, std::vector<FieldValue>& words, std::string& error);

} // namespace host
