#include "tabulo_calls.h"

#include <windows.h>

namespace tabulo_test {
namespace {

template <class Function> Function Slot(const void* object, int index) {
    void* const* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Function>(table[index]);
}

using IntCall = int(__thiscall*)(void*);
using TextCall = fw::String(__thiscall*)(void*);
using StringRefCall = int(__thiscall*)(void*, fw::String&);
using StringCall = int(__thiscall*)(void*, fw::String);
using CreateCall = int(__thiscall*)(void*, fw::String, const StringList*, const StringList*);
using RecordsetCall = int(__thiscall*)(void*, fw::String, int, int, int, int);
using FieldCall = int(__thiscall*)(void*, const char*, const fw::String*);

} // namespace

std::string TabuloCalls::LastErrorText() {
    return Slot<TextCall>(object_, 5)(object_).str();
}
int TabuloCalls::ChooseSource(fw::String& source) {
    return Slot<StringRefCall>(object_, 6)(object_, source);
}
int TabuloCalls::OpenSource(const std::string& source) {
    return Slot<StringCall>(object_, 7)(object_, fw::String(source));
}
int TabuloCalls::IsOpen() {
    return Slot<IntCall>(object_, 9)(object_);
}
int TabuloCalls::Finish() {
    return Slot<IntCall>(object_, 10)(object_);
}
int TabuloCalls::CreateTable(const std::string& table, const StringList* names,
                             const StringList* types) {
    return Slot<CreateCall>(object_, 14)(object_, fw::String(table), names, types);
}
int TabuloCalls::OpenRecordset(const std::string& query, int a, int b, int c, int d) {
    return Slot<RecordsetCall>(object_, 20)(object_, fw::String(query), a, b, c, d);
}
int TabuloCalls::AddNew() {
    return Slot<IntCall>(object_, 31)(object_);
}
int TabuloCalls::Update() {
    return Slot<IntCall>(object_, 32)(object_);
}
int TabuloCalls::SetFieldValue(const char* column, const fw::String* value) {
    return Slot<FieldCall>(object_, 53)(object_, column, value);
}
int TabuloCalls::CallPlain(int index) {
    return Slot<IntCall>(object_, index)(object_);
}

void* CreateTabuloObject() {
    HMODULE library = GetModuleHandleW(L"tabulo.dll");
    if (!library)
        library = LoadLibraryW(L"tabulo.dll");
    if (!library)
        return nullptr;
    using Create = void*(__cdecl*)();
    auto create =
        reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(library, "CreateTabulo")));
    return create ? create() : nullptr;
}

} // namespace tabulo_test
