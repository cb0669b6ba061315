// AliasFile.txt beside the plug-in: gives top-level branches of a server another name inside the
// tag names made from their items. Plain text in the host's ANSI code page, one entry a line:
// the branch name, ";", the alias. The key is the text before the first ";" and the value the
// text after it (further ";" belong to the value); a line without ";" gives the empty key and
// the whole line as its value. Nothing is trimmed; line ends ("\n" or "\r\n") are not part of
// either text. A later line with the same key replaces the earlier value. Keys are compared
// exactly, as bytes.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

namespace pelorin {

using AliasMap = std::map<std::string, std::string>;
// Where a run's texts for the engineer go: the item link dialog shows each in a message box with
// an OK button.
using MessageSink = std::function<void(const std::wstring&)>;

constexpr const wchar_t* kAliasFileName = L"AliasFile.txt";

// The full path of the module's file, however long.
std::wstring ModuleFilePath(HMODULE module);
// AliasFile.txt in the directory of `modulePath`: the path is cut just after its last backslash
// when that comes after the first character.
std::wstring AliasFilePath(const std::wstring& modulePath);

// Adds the entries of `text` (the file's bytes) to `aliases`.
void ParseAliasText(const std::string& text, AliasMap& aliases);

// Adds the entries of the file at `path` to `aliases`. False, with `aliases` unchanged, when the
// file cannot be opened or read.
bool ReadAliasFile(const std::wstring& path, AliasMap& aliases);

// Fills `aliases` from AliasFile.txt beside the plug-in; when the file cannot be read, tells the
// engineer its full path. Called once by the item link dialog's initialisation.
void LoadAliasFile(AliasMap& aliases, const MessageSink& show);

// The alias of a top-level branch, empty when there is none (for tag names).
std::string AliasOf(const AliasMap& aliases, const std::string& branch);

} // namespace pelorin
