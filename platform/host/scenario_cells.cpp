#include "scenario_cells.h"

#include <windows.h>

#include <cctype>
#include <cstring>

#include "tag_file.h"

namespace host {
namespace {

struct KeyName {
    const char* name;
    unsigned code;
};

const KeyName kKeys[] = {
    {"DELETE", VK_DELETE}, {"RETURN", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"TAB", VK_TAB},
    {"UP", VK_UP},         {"DOWN", VK_DOWN},     {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},
    {"HOME", VK_HOME},     {"END", VK_END},       {"F2", VK_F2},
};

bool IsNumber(const FieldValue& word) {
    if (word.quoted || word.text.empty() || word.text.size() > 9)
        return false;
    for (char c : word.text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool IsBare(const FieldValue& word, const char* text) {
    return !word.quoted && word.text == text;
}

// Checks words[first..] against a shape: n = number, q = quoted text, k = key name.
bool Shape(const Step& step, size_t first, const char* shape, std::string& why) {
    const size_t count = std::strlen(shape);
    if (step.words.size() != first + count) {
        why = "'" + step.Kind() + "' takes " + std::to_string(count) + " argument(s)";
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        const FieldValue& word = step.words[first + i];
        const std::string which = "argument " + std::to_string(i + 1) + " of '" + step.Kind() + "'";
        if (shape[i] == 'n' && !IsNumber(word)) {
            why = which + " must be a decimal number";
            return false;
        }
        if (shape[i] == 'q' && !word.quoted) {
            why = which + " must be a quoted text";
            return false;
        }
        if (shape[i] == 'k' && (word.quoted || !CellKeyCode(word.text))) {
            why = which + " must be a key name (DELETE, RETURN, ESCAPE, TAB, UP, DOWN, LEFT, "
                          "RIGHT, HOME, END, F2)";
            return false;
        }
    }
    return true;
}

bool CheckGivenTag(const Step& step, std::string& why) {
    if (step.words.size() < 3 || !step.words[2].quoted || step.words[2].text.empty()) {
        why = "given tag \"<name>\" [hidden] [pv \"<item>\"] [desc \"<item>\"]";
        return false;
    }
    bool hidden = false, pv = false, desc = false;
    for (size_t i = 3; i < step.words.size(); ++i) {
        const FieldValue& word = step.words[i];
        bool* seen = IsBare(word, "hidden") ? &hidden
                     : IsBare(word, "pv")   ? &pv
                     : IsBare(word, "desc") ? &desc
                                            : nullptr;
        if (!seen || *seen) {
            why = "given tag: '" + word.text + "' is not hidden, pv or desc, or comes twice";
            return false;
        }
        *seen = true;
        if (seen != &hidden) {
            if (i + 1 >= step.words.size() || !step.words[i + 1].quoted ||
                step.words[i + 1].text.empty()) {
                why = "given tag: " + word.text + " needs a quoted item id";
                return false;
            }
            ++i;
        }
    }
    return true;
}

bool CheckExpectTag(const Step& step, std::string& why) {
    const auto isLink = [](const FieldValue& word) { return word.quoted || word.text == "none"; };
    if (step.words.size() != 7 || !step.words[2].quoted || !IsBare(step.words[3], "pv") ||
        !isLink(step.words[4]) || !IsBare(step.words[5], "desc") || !isLink(step.words[6])) {
        why = "expect tag \"<name>\" pv \"<item>\"|none desc \"<item>\"|none";
        return false;
    }
    return true;
}

} // namespace

unsigned CellKeyCode(const std::string& name) {
    for (const KeyName& key : kKeys)
        if (name == key.name)
            return key.code;
    return 0;
}

ExtraStep CheckCellOrTagStep(const Step& step, std::string& why) {
    const std::string kind = step.Kind();
    bool ok;
    if (kind == "cell-click")
        ok = Shape(step, 1, "nnn", why);
    else if (kind == "cell-type") {
        ok = Shape(step, 1, "nnnq", why);
        if (ok && step.words[4].text.empty()) {
            why = "cell-type needs a text to type";
            ok = false;
        }
    } else if (kind == "cell-key")
        ok = Shape(step, 1, "nnnk", why);
    else if (kind == "expect cell")
        ok = Shape(step, 2, "nnnq", why);
    else if (kind == "expect rows")
        ok = Shape(step, 2, "nn", why);
    else if (kind == "expect tags")
        ok = Shape(step, 2, "n", why);
    else if (kind == "expect tag")
        ok = CheckExpectTag(step, why);
    else if (kind == "given tag")
        ok = CheckGivenTag(step, why);
    else
        return ExtraStep::Unknown;
    return ok ? ExtraStep::Valid : ExtraStep::Invalid;
}

TagData GivenTag(const Step& step) {
    TagData tag;
    tag.name = AnsiFromUtf8(step.words[2].text);
    for (size_t i = 3; i < step.words.size(); ++i) {
        const std::string& word = step.words[i].text;
        if (word == "hidden") {
            tag.hidden = true;
            continue;
        }
        LinkData link;
        link.parameter = word == "pv" ? "PV" : "DESC";
        link.item = AnsiFromUtf8(step.words[++i].text);
        tag.links.push_back(link);
    }
    return tag;
}

} // namespace host
