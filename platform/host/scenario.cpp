#include "scenario.h"

#include <set>

#include "step_syntax.h"
#include "steps.h"

namespace host {
namespace {

// Givens that say one thing about the whole scenario.
const std::set<std::string> kOnce = {"given plugins", "given lang", "given browser",
                                     "given alias-file", "given database"};

std::string AtLine(int line, const std::string& text) {
    return "line " + std::to_string(line) + ": " + text;
}

// The order of calls: with `call` steps, every robot step belongs to one; several plug-ins
// need them; nothing is called after `unload`.
bool CheckCalls(const Scenario& scenario, std::string& error) {
    const Step* plugins = nullptr;
    for (const Step& step : scenario.given)
        if (step.Kind() == "given plugins")
            plugins = &step;
    if (plugins) {
        // Calls name their plug-in, so a name stands for one.
        std::set<std::string> names;
        for (size_t a = 0; a < plugins->ArgCount(); ++a) {
            if (!names.insert(plugins->Arg(a).text).second) {
                error = AtLine(plugins->line, "'" + plugins->Arg(a).text + "' is given twice");
                return false;
            }
        }
    }
    if (plugins && plugins->ArgCount() > 1 && !scenario.namesCalls) {
        error = AtLine(plugins->line, "with several plug-ins, say which one each call goes to "
                                      "(call <plugin>)");
        return false;
    }
    bool unloaded = false;
    for (size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        const std::string kind = step.Kind();
        if (i == 0 && scenario.namesCalls && kind != "call") {
            error = AtLine(step.line, "a scenario with call steps starts with one");
            return false;
        }
        if (kind == "call" && unloaded) {
            error = AtLine(step.line, "no call after unload");
            return false;
        }
        if (kind == "call" && plugins) {
            bool known = false;
            for (size_t a = 0; a < plugins->ArgCount(); ++a)
                known = known || plugins->Arg(a).text == step.Arg(0).text;
            if (!known) {
                error = AtLine(step.line,
                               "'" + step.Arg(0).text + "' is not one of the given plug-ins");
                return false;
            }
        }
        unloaded = unloaded || kind == "unload";
    }
    return true;
}

} // namespace

std::string Step::Kind() const {
    if ((Verb() == "expect" || Verb() == "given") && words.size() > 1 && !words[1].quoted)
        return Verb() + " " + words[1].text;
    return Verb();
}

size_t Step::First() const {
    return Verb() == "expect" || Verb() == "given" ? 2 : 1;
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
    std::set<std::string> seen;
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
            error = AtLine(lineNumber, why);
            return false;
        }
        if (step.words[0].quoted) {
            error = AtLine(lineNumber, "a step starts with its verb");
            return false;
        }
        const std::string kind = step.Kind();
        step.entry = FindStep(kind);
        if (!step.entry) {
            error = AtLine(lineNumber, "unknown step '" + kind + "'");
            return false;
        }
        if (!CheckArguments(step.entry->Arguments(), step.words, step.First(), kind, why) ||
            (step.entry->extra && !step.entry->extra(step, why))) {
            error = AtLine(lineNumber, why + "; the step is: " + step.entry->usage);
            return false;
        }
        if (kOnce.count(kind) && !seen.insert(kind).second) {
            error = AtLine(lineNumber, "'" + kind + "' comes twice");
            return false;
        }
        if (step.entry->robot) {
            scenario.namesCalls = scenario.namesCalls || kind == "call";
            scenario.steps.push_back(step);
        } else {
            scenario.given.push_back(step);
        }
    }
    return CheckCalls(scenario, error);
}

} // namespace host
