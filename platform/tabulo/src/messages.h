// The library's own texts (string table, English and Chinese), with %1, %2 for the inserts.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "messages_ids.h"

namespace tabulo {

// The text of `id` with its inserts; never throws.
std::wstring FormatText(UINT id, std::initializer_list<std::wstring> inserts = {});

} // namespace tabulo
