// Scenario steps on grid cells and on the host's tags:
//   cell-click <id> <col> <row>                  click a cell of the grid control <id>
//   cell-type <id> <col> <row> "<text>"          click it, type the text, leave the cell
//   cell-key <id> <col> <row> <key>              click it and press a key (DELETE, RETURN,
//                                                ESCAPE, TAB, UP, DOWN, LEFT, RIGHT, HOME, END, F2)
//   expect cell <id> <col> <row> "<text>"        the cell's text
//   expect rows <id> <n>                         the grid's row count, title row included
//   given tag "<name>" [hidden] [pv "<item>"] [desc "<item>"]
//                                                a tag the device has before the call
//   expect tag "<name>" pv "<item>"|none desc "<item>"|none
//                                                a committed tag and its PV and DESC links
//   expect tags <n>                              the number of committed tags
#pragma once

#include <string>

#include "scenario.h"
#include "tagdb.h"

namespace host {

enum class ExtraStep { Unknown, Valid, Invalid };

// Unknown for steps of other kinds; Invalid with a message for a malformed one of these.
ExtraStep CheckCellOrTagStep(const Step& step, std::string& why);

// The tag a checked `given tag` step describes (texts in the ANSI code page).
TagData GivenTag(const Step& step);

// The virtual-key code of a key name that cell-key accepts, or 0.
unsigned CellKeyCode(const std::string& name);

} // namespace host
