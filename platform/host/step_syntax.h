// The arguments of a scenario step, checked against the step's usage line. The usage line is
// both what the README shows and the rule the parser applies, so the two cannot differ:
//
//   "<label>"          a quoted text
//   <id>               a decimal control id
//   <col> <row> <count> <ms>   a decimal number
//   <n>                a whole number, negative too
//   <key>              a key name (RETURN, ESCAPE, DELETE, TAB, UP, DOWN, LEFT, RIGHT, HOME, END,
//   F2) <value>            any word, quoted or bare <anything else>    a bare word a|b|"<label>"
//   one of these word               that word, bare X ...              X once or more [X Y]
//   optional; several optional groups in a row may come in any order, each once
#pragma once

#include <string>
#include <vector>

#include "record.h"

namespace host {

// Checks words[first..] against the arguments of `usage` (the part after the step's name).
// False with a reason naming the argument; `kind` is the step's name for messages.
bool CheckArguments(const std::string& usage, const std::vector<FieldValue>& words, size_t first,
                    const std::string& kind, std::string& why);

// The virtual-key code of a key name that <key> accepts, or 0.
unsigned KeyCode(const std::string& name);

} // namespace host
