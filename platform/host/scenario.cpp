#include "scenario.h"

#include <cctype>
#include <cstring>

#include "scenario_cells.h"

namespace host {
namespace {

// Argument shapes: i = control id (decimal), q = quoted text, w = bare word, v = any value,
// k = key name, y = yes|no, a = answer (OK|YES|NO|CANCEL), m = message text or *.
struct StepShape {
    const char* kind;
    const char* args;
};

const StepShape kShapes[] = {
    {"given field", "wv"},
    {"given lang", "w"},
    // The test runner registers these in the prefix before the host starts; the host skips them.
    {"given servers", "q"},
    {"given network", "q"},
    {"given browser", "w"},
    {"window", "q"},
    {"type", "iq"},
    {"select", "iq"},
    {"click", "i"},
    {"key", "ik"},
    {"close", ""},
    {"expect text", "iq"},
    {"expect visible", "iy"},
    {"expect enabled", "iy"},
    {"expect checked", "iy"},
    {"expect focus", "i"},
    {"expect glyphs", "i"},
    {"expect message", "mwa"},
    {"expect closed", ""},
    {"expect result", "w"},
    {"expect field", "wv"},
    {"expect bytes-unchanged", ""},
    {"shot", "w"},
    // Lists of combo and list boxes.
    {"dropdown", "i"},
    {"expect count", "iw"},
    {"expect selection", "in"},
};

bool IsDecimal(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool CheckArg(char shape, const FieldValue& word, std::string& why) {
    switch (shape) {
    case 'i':
        if (word.quoted || !IsDecimal(word.text)) {
            why = "a decimal control id";
            return false;
        }
        return true;
    case 'q':
        if (!word.quoted) {
            why = "a quoted text";
            return false;
        }
        return true;
    case 'w':
        if (word.quoted) {
            why = "a bare word";
            return false;
        }
        return true;
    case 'v':
        return true;
    case 'k':
        if (word.quoted || (word.text != "RETURN" && word.text != "ESCAPE" &&
                            word.text != "DELETE" && word.text != "TAB")) {
            why = "RETURN, ESCAPE, DELETE or TAB";
            return false;
        }
        return true;
    case 'y':
        if (word.quoted || (word.text != "yes" && word.text != "no")) {
            why = "yes or no";
            return false;
        }
        return true;
    case 'm':
        if (!word.quoted && word.text != "*") {
            why = "a quoted text or *";
            return false;
        }
        return true;
    case 'n':
        if (!word.quoted && word.text != "none") {
            why = "a quoted text or none";
            return false;
        }
        return true;
    case 'a':
        if (word.quoted || (word.text != "OK" && word.text != "YES" && word.text != "NO" &&
                            word.text != "CANCEL")) {
            why = "OK, YES, NO or CANCEL";
            return false;
        }
        return true;
    }
    return false;
}

} // namespace

std::string Step::Kind() const {
    if ((Verb() == "expect" || Verb() == "given") && words.size() > 1 && !words[1].quoted)
        return Verb() + " " + words[1].text;
    return Verb();
}

bool SplitWords(const std::string& line, std::vector<FieldValue>& words, std::string& error) {
    words.clear();
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        FieldValue word;
        if (line[i] == '"') {
            word.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\') {
                    if (i >= line.size()) {
                        error = "a backslash ends the line";
                        return false;
                    }
                    char e = line[i++];
                    switch (e) {
                    case 'n':
                        word.text += '\n';
                        break;
                    case 'r':
                        word.text += '\r';
                        break;
                    case '"':
                        word.text += '"';
                        break;
                    case '\\':
                        word.text += '\\';
                        break;
                    default:
                        error = std::string("unknown escape \\") + e;
                        return false;
                    }
                    continue;
                }
                word.text += c;
            }
            if (!closed) {
                error = "a quoted text is not closed";
                return false;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word.text += line[i++];
        }
        words.push_back(word);
    }
    return true;
}

bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error) {
    scenario = Scenario();
    size_t start = 0;
    int lineNumber = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (lineNumber == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3); // a byte-order mark some editors write
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#')
            continue;

        Step step;
        step.line = lineNumber;
        step.source = line.substr(first);
        std::string why;
        if (!SplitWords(line, step.words, why)) {
            error = "line " + std::to_string(lineNumber) + ": " + why;
            return false;
        }
        if (step.words[0].quoted) {
            error = "line " + std::to_string(lineNumber) + ": a step starts with its verb";
            return false;
        }
        const std::string kind = step.Kind();
        if (kind == "expect items") {
            // expect items <id> "<text>" ...: any number of texts, in the list's order.
            bool ok = step.words.size() >= 3 && CheckArg('i', step.words[2], why);
            for (size_t a = 3; ok && a < step.words.size(); ++a)
                ok = CheckArg('q', step.words[a], why);
            if (!ok) {
                error = "line " + std::to_string(lineNumber) +
                        ": expect items <id> \"<text>\" ... needs a control id and quoted texts";
                return false;
            }
            scenario.steps.push_back(step);
            continue;
        }
        const StepShape* shape = nullptr;
        for (const StepShape& candidate : kShapes)
            if (kind == candidate.kind)
                shape = &candidate;
        if (!shape) {
            // Steps on grid cells and tags have shapes of their own (scenario_cells.h).
            const ExtraStep extra = CheckCellOrTagStep(step, why);
            if (extra != ExtraStep::Valid) {
                error = "line " + std::to_string(lineNumber) + ": " +
                        (extra == ExtraStep::Unknown ? "unknown step '" + kind + "'" : why);
                return false;
            }
            (step.Verb() == "given" ? scenario.given : scenario.steps).push_back(step);
            continue;
        }
        const size_t skip = std::strchr(shape->kind, ' ') ? 2 : 1;
        const size_t count = std::strlen(shape->args);
        if (step.words.size() != skip + count) {
            error = "line " + std::to_string(lineNumber) + ": '" + kind + "' takes " +
                    std::to_string(count) + " argument(s)";
            return false;
        }
        for (size_t a = 0; a < count; ++a) {
            if (!CheckArg(shape->args[a], step.words[skip + a], why)) {
                error = "line " + std::to_string(lineNumber) + ": argument " +
                        std::to_string(a + 1) + " of '" + kind + "' must be " + why;
                return false;
            }
        }
        if (kind == "expect message" && step.words[3].text != "answer") {
            error = "line " + std::to_string(lineNumber) + ": expect message \"...\" answer X";
            return false;
        }
        if (step.Verb() == "given")
            scenario.given.push_back(step);
        else
            scenario.steps.push_back(step);
    }
    return true;
}

} // namespace host
