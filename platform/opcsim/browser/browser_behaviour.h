// What the server browser does wrong on purpose.
//
// A world file's "browser": {"enumResult": ...} is registered for the whole prefix, which suits
// scenarios (they run one at a time). Unit tests run side by side in one prefix, so a process may
// instead give its own browser (the in-process one it loads) a behaviour in the environment
// variable OPCSIM_BROWSER, a JSON object:
//   {"createResult": "E_ACCESSDENIED",      CreateInstance refuses with that code
//    "enumResult": "E_FAIL",                 EnumClassesOfCategories refuses with that code
//    "nextLimit": 60,                        IEnumGUID::Next hands out at most that many per call
//                                            and answers S_FALSE for a short batch, more or not
//    "details": {"{clsid}": "E_FAIL"},       GetClassDetails fails for that class
//    "stringsOnFailure": true}               ... and still hands out its two strings
// When the variable is set, the registered browser settings do not apply in that process.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <map>
#include <string>

namespace opcbrowser {

struct BrowserBehaviour {
    HRESULT createResult = S_OK;
    HRESULT enumResult = S_OK;
    ULONG nextLimit = 0;                     // 0: no limit
    std::map<std::wstring, HRESULT> details; // by class id text as StringFromGUID2 writes it
    bool stringsOnFailure = false;

    HRESULT DetailsResult(const GUID& clsid) const;
};

// The behaviour for this process now (read at every call, so a test may change it).
BrowserBehaviour CurrentBehaviour();

} // namespace opcbrowser
