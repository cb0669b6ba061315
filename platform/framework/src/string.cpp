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
    if (capacity > static_cast<size_t>(-1) - sizeof(Header) - 1)
        return nullptr;
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

String::String() noexcept : data_(gEmpty) {}
String::String(const char* text) noexcept : data_(gEmpty) {
    Assign(text, text ? std::strlen(text) : 0);
}
String::String(const char* text, size_t bytes) noexcept : data_(gEmpty) {
    Assign(text, bytes);
}
String::String(const String& other) noexcept : data_(gEmpty) {
    Assign(other.data_, other.size());
}
String::String(String&& other) noexcept : data_(other.data_) {
    other.data_ = gEmpty;
}
String::~String() {
    Release(data_);
}

String& String::operator=(const String& other) noexcept {
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

String& String::operator=(const char* text) noexcept {
    Assign(text, text ? std::strlen(text) : 0);
    return *this;
}

size_t String::size() const noexcept {
    return data_ == gEmpty ? 0 : HeaderOf(data_)->size;
}

void String::Assign(const char* text, size_t bytes) noexcept {
    if (bytes == 0 || !text) {
        Clear();
        return;
    }
    if (data_ == gEmpty || HeaderOf(data_)->capacity < bytes) {
        // Copy before releasing: the text may lie inside our own buffer.
        char* fresh = Allocate(bytes);
        if (!fresh)
            return; // out of memory: the string keeps its old text
        std::memcpy(fresh, text, bytes);
        Release(data_);
        data_ = fresh;
    } else {
        std::memmove(data_, text, bytes);
    }
    data_[bytes] = '\0';
    HeaderOf(data_)->size = bytes;
}

void String::Append(const char* text, size_t bytes) noexcept {
    if (bytes == 0 || !text)
        return;
    const size_t old = size();
    if (bytes > static_cast<size_t>(-1) - old)
        return;
    char* joined = Allocate(old + bytes);
    if (!joined)
        return; // out of memory: the string keeps its old text
    std::memcpy(joined, data_, old);
    std::memcpy(joined + old, text, bytes); // before releasing: text may lie in our buffer
    joined[old + bytes] = '\0';
    HeaderOf(joined)->size = old + bytes;
    Release(data_);
    data_ = joined;
}

void String::Clear() noexcept {
    Release(data_);
    data_ = gEmpty;
}

} // namespace fw
