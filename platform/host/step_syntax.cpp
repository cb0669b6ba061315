#include "step_syntax.h"

#include <windows.h>

#include <cctype>

namespace host {
namespace {

struct KeyName {
    const char* name;
    unsigned code;
};

const KeyName kKeys[] = {
    {"RETURN", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"DELETE", VK_DELETE}, {"TAB", VK_TAB},
    {"UP", VK_UP},         {"DOWN", VK_DOWN},     {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},
    {"HOME", VK_HOME},     {"END", VK_END},       {"F2", VK_F2},
};

// One alternative of an argument: a literal word, a quoted text or a bare placeholder.
struct Token {
    enum Kind { Literal, Quoted, Bare } kind;
    std::string text; // the literal, or the placeholder's label
};

struct Element {
    std::vector<Token> choices;
    bool repeat = false; // "X ...": once or more
};

// A required element (one item) or an optional group "[...]".
struct Group {
    std::vector<Element> items;
    bool optional = false;
};

Token ParseToken(const std::string& text) {
    if (text.size() >= 4 && text.front() == '"' && text.back() == '"')
        return {Token::Quoted, text.substr(2, text.size() - 4)};
    if (text.size() >= 3 && text.front() == '<' && text.back() == '>')
        return {Token::Bare, text.substr(1, text.size() - 2)};
    return {Token::Literal, text};
}

std::vector<Group> ParseUsage(const std::string& usage) {
    std::vector<Group> groups;
    bool inGroup = false;
    size_t i = 0;
    while (i < usage.size()) {
        if (usage[i] == ' ') {
            ++i;
            continue;
        }
        size_t end = usage.find(' ', i);
        std::string token = usage.substr(i, end == std::string::npos ? end : end - i);
        i = end == std::string::npos ? usage.size() : end;
        bool opens = false, closes = false;
        if (token.front() == '[') {
            opens = true;
            token.erase(0, 1);
        }
        if (!token.empty() && token.back() == ']') {
            closes = true;
            token.pop_back();
        }
        if (token == "...") {
            // "X ...": the element before repeats (inside a group: the group's last one).
            if (!groups.empty())
                groups.back().items.back().repeat = true;
            if (closes)
                inGroup = false;
            continue;
        }
        if (opens || !inGroup) {
            groups.push_back(Group());
            groups.back().optional = opens;
        }
        inGroup = opens ? !closes : inGroup && !closes;
        std::vector<Element>& items = groups.back().items;
        Element element;
        size_t start = 0;
        for (;;) {
            const size_t bar = token.find('|', start);
            element.choices.push_back(ParseToken(token.substr(start, bar - start)));
            if (bar == std::string::npos)
                break;
            start = bar + 1;
        }
        items.push_back(element);
    }
    return groups;
}

bool IsDigits(const std::string& text) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

bool IsNumberLabel(const std::string& label) {
    return label == "col" || label == "row" || label == "count" || label == "ms";
}

bool Matches(const Token& token, const FieldValue& word) {
    switch (token.kind) {
    case Token::Literal:
        return !word.quoted && word.text == token.text;
    case Token::Quoted:
        return word.quoted;
    case Token::Bare:
        if (token.text == "value")
            return true;
        if (word.quoted)
            return false;
        if (token.text == "id" || IsNumberLabel(token.text))
            return IsDigits(word.text);
        if (token.text == "n")
            return IsDigits(word.text[0] == '-' ? word.text.substr(1) : word.text);
        if (token.text == "key")
            return KeyCode(word.text) != 0;
        return !word.text.empty();
    }
    return false;
}

bool Matches(const Element& element, const FieldValue& word) {
    for (const Token& token : element.choices)
        if (Matches(token, word))
            return true;
    return false;
}

std::string Describe(const Token& token) {
    switch (token.kind) {
    case Token::Literal:
        return token.text;
    case Token::Quoted:
        return "a quoted text";
    case Token::Bare:
        if (token.text == "id")
            return "a decimal control id";
        if (IsNumberLabel(token.text))
            return "a decimal number";
        if (token.text == "n")
            return "a whole number";
        if (token.text == "key") {
            std::string names;
            for (const KeyName& key : kKeys)
                names += std::string(names.empty() ? "" : ", ") + key.name;
            return "a key name (" + names + ")";
        }
        if (token.text == "value")
            return "a value";
        return "a bare word (" + token.text + ")";
    }
    return "";
}

// "OK, YES, NO or CANCEL", "a quoted text or none".
std::string Describe(const std::vector<Token>& tokens) {
    if (tokens.size() == 1 && tokens[0].kind == Token::Literal)
        return "the word " + tokens[0].text;
    std::string text;
    for (size_t i = 0; i < tokens.size(); ++i)
        text += (i == 0 ? "" : i + 1 == tokens.size() ? " or " : ", ") + Describe(tokens[i]);
    return text;
}

std::string Describe(const Element& element) {
    return Describe(element.choices);
}

} // namespace

unsigned KeyCode(const std::string& name) {
    for (const KeyName& key : kKeys)
        if (name == key.name)
            return key.code;
    return 0;
}

bool CheckArguments(const std::string& usage, const std::vector<FieldValue>& words, size_t first,
                    const std::string& kind, std::string& why) {
    const std::vector<Group> groups = ParseUsage(usage);
    bool fixed = true;
    size_t fixedCount = 0;
    for (const Group& group : groups) {
        fixed = fixed && !group.optional && !group.items[0].repeat;
        fixedCount += group.items.size();
    }
    size_t pos = first;
    const auto which = [&] {
        return "argument " + std::to_string(pos - first + 1) + " of '" + kind + "'";
    };
    const auto countWrong = [&] {
        why = "'" + kind + "' takes " + std::to_string(fixedCount) + " argument(s)";
        return false;
    };
    // What else the word at `pos` could have been, for a message about a word left over.
    std::vector<Token> couldBe;

    // Matches one element at `pos` (required), then its repetitions.
    const auto matchElement = [&](const Element& element) {
        if (pos >= words.size()) {
            if (fixed)
                return countWrong();
            why = "'" + kind + "' needs " + Describe(element) + " as argument " +
                  std::to_string(pos - first + 1);
            return false;
        }
        if (!Matches(element, words[pos])) {
            // What an optional part or a repetition before it would have taken fits too.
            std::vector<Token> fits = couldBe;
            fits.insert(fits.end(), element.choices.begin(), element.choices.end());
            why = which() + " must be " + Describe(fits);
            return false;
        }
        ++pos;
        couldBe.clear();
        if (element.repeat) {
            while (pos < words.size() && Matches(element, words[pos]))
                ++pos;
            couldBe = element.choices;
        }
        return true;
    };

    for (size_t g = 0; g < groups.size();) {
        if (!groups[g].optional) {
            if (!matchElement(groups[g].items[0]))
                return false;
            ++g;
            continue;
        }
        // A run of optional groups, in any order, each at most once.
        size_t end = g;
        while (end < groups.size() && groups[end].optional)
            ++end;
        std::vector<bool> used(end - g, false);
        for (;;) {
            couldBe.clear();
            for (size_t k = g; k < end; ++k)
                if (!used[k - g])
                    couldBe.insert(couldBe.end(), groups[k].items[0].choices.begin(),
                                   groups[k].items[0].choices.end());
            if (pos >= words.size())
                break;
            size_t hit = end;
            for (size_t k = g; k < end && hit == end; ++k)
                if (Matches(groups[k].items[0], words[pos]))
                    hit = k;
            if (hit == end)
                break;
            if (used[hit - g]) {
                why = which() + ": '" + words[pos].text + "' comes twice";
                return false;
            }
            used[hit - g] = true;
            for (const Element& element : groups[hit].items)
                if (!matchElement(element))
                    return false;
        }
        g = end;
    }
    if (pos < words.size()) {
        if (fixed)
            return countWrong();
        why = which() + (couldBe.empty() ? " is one too many" : " must be " + Describe(couldBe));
        return false;
    }
    return true;
}

} // namespace host
