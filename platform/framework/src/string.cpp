#include "fw/string.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace fw {
namespace {

struct Header {
    size_t size;
    size_t capacity;
};

char gEmpty[1] = {'\0'};

Header* HeaderOf(char* data) {
    return reinterpret_cast<Header*>(data) - 1;
}

// Null when memory is short: no exception may leave this DLL for a caller in another module.
char* Allocate(size_t capacity) {
    auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + capacity + 1));
    if (!header)
        return nullptr;
    header->size = 0;
    header->capacity = capacity;
    char* data = reinterpret_cast<char*>(header + 1);
    data[0] = '\0';
    return data;
}

void Release(char* data) {
    if (data != gEmpty)
        std::free(HeaderOf(data));
}

} // namespace

String::String() : data_(gEmpty) {}
String::String(const char* text) : data_(gEmpty) {
    Assign(text, text ? std::strlen(text) : 0);
}
String::String(const char* text, size_t bytes) : data_(gEmpty) {
    Assign(text, bytes);
}
String::String(const std::string& text) : data_(gEmpty) {
    Assign(text.data(), text.size());
}
String::String(const String& other) : data_(gEmpty) {
    Assign(other.data_, other.size());
}
String::String(String&& other) noexcept : data_(other.data_) {
    other.data_ = gEmpty;
}
String::~String() {
    Release(data_);
}

String& String::operator=(const String& other) {
    if (this != &other)
        Assign(other.data_, other.size());
    return *this;
}

String& String::operator=(String&& other) noexcept {
    if (this != &other) {
        Release(data_);
        data_ = other.data_;
        other.data_ = gEmpty;
    }
    return *this;
}

String& String::operator=(const char* text) {
    Assign(text, text ? std::strlen(text) : 0);
    return *this;
}

size_t String::size() const {
    return data_ == gEmpty ? 0 : HeaderOf(data_)->size;
}

void String::Assign(const char* text, size_t bytes) {
    if (bytes == 0 || !text) {
        Clear();
        return;
    }
    if (data_ == gEmpty || HeaderOf(data_)->capacity < bytes) {
        // Copy before releasing: the text may lie inside our own buffer.
        char* fresh = Allocate(bytes);
        if (!fresh)
            return;  // out of memory: the string keeps its old text
        std::memcpy(fresh, text, bytes);
        Release(data_);
        data_ = fresh;
    } else {
        std::memmove(data_, text, bytes);
    }
    data_[bytes] = '\0';
    HeaderOf(data_)->size = bytes;
}

void String::Append(const char* text, size_t bytes) {
    if (bytes == 0 || !text)
        return;
    const size_t old = size();
    char* joined = Allocate(old + bytes);
    if (!joined)
        return;  // out of memory: the string keeps its old text
    std::memcpy(joined, data_, old);
    std::memcpy(joined + old, text, bytes);  // before releasing: text may lie in our buffer
    joined[old + bytes] = '\0';
    HeaderOf(joined)->size = old + bytes;
    Release(data_);
    data_ = joined;
}

void String::Clear() {
    Release(data_);
    data_ = gEmpty;
}

std::wstring ToWide(const char* ansi) {
    if (!ansi || !*ansi)
        return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, ansi, -1, &out[0], n);
    if (!out.empty())
        out.pop_back(); // the terminator counted by -1
    return out;
}

std::string ToAnsi(const wchar_t* wide) {
    if (!wide || !*wide)
        return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, wide, -1, &out[0], n, nullptr, nullptr);
    if (!out.empty())
        out.pop_back();
    return out;
}

std::wstring Utf8ToWide(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string WideToUtf8(const std::wstring& wide) {
    if (wide.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

} // namespace fw
