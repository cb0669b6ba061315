// Answers the message boxes a test provokes on this thread and remembers their texts and
// captions, so that tests can run dialogs modally without a person.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class MessageCatcher {
public:
    MessageCatcher();
    ~MessageCatcher();

    struct Seen {
        std::wstring caption;
        std::wstring text;
    };
    const std::vector<Seen>& Messages() const { return seen_; }
    void Clear() { seen_.clear(); }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_;
    std::vector<Seen> seen_;
    static MessageCatcher* current_;
};
