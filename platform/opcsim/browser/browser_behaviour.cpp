#include "browser_behaviour.h"

#include "config.h"
#include "registration.h"

#include <vector>

#include <nlohmann/json.hpp>

namespace opcbrowser {
namespace {

using nlohmann::json;

HRESULT Code(const json& value) {
    HRESULT result = E_FAIL;
    if (value.is_number_integer())
        return static_cast<HRESULT>(value.get<long long>());
    if (value.is_string())
        opcsim::ParseHresult(value.get<std::string>(), result);
    return result; // an unknown name still makes the call fail
}

std::wstring ClassText(const std::wstring& text) {
    GUID guid;
    std::wstring copy = text;
    if (FAILED(CLSIDFromString(&copy[0], &guid)))
        return text;
    return opcsim::GuidText(guid); // one spelling for the comparison
}

BrowserBehaviour Parse(const std::string& text) {
    BrowserBehaviour behaviour;
    const json document = json::parse(text, nullptr, false);
    if (!document.is_object())
        return behaviour;
    if (document.contains("createResult"))
        behaviour.createResult = Code(document["createResult"]);
    if (document.contains("enumResult"))
        behaviour.enumResult = Code(document["enumResult"]);
    if (document.contains("nextLimit") && document["nextLimit"].is_number_unsigned())
        behaviour.nextLimit = document["nextLimit"].get<ULONG>();
    if (document.contains("details") && document["details"].is_object())
        for (const auto& entry : document["details"].items())
            behaviour.details[ClassText(opcsim::Widen(entry.key()))] = Code(entry.value());
    if (document.contains("stringsOnFailure") && document["stringsOnFailure"].is_boolean())
        behaviour.stringsOnFailure = document["stringsOnFailure"].get<bool>();
    return behaviour;
}

} // namespace

HRESULT BrowserBehaviour::DetailsResult(const GUID& clsid) const {
    const auto found = details.find(opcsim::GuidText(clsid));
    return found == details.end() ? S_OK : found->second;
}

BrowserBehaviour CurrentBehaviour() {
    const DWORD size = GetEnvironmentVariableW(L"OPCSIM_BROWSER", nullptr, 0);
    if (size == 0) {
        BrowserBehaviour registered;
        registered.enumResult = opcsim::RegisteredBrowserEnumResult();
        return registered;
    }
    std::vector<wchar_t> text(size + 1, L'\0');
    GetEnvironmentVariableW(L"OPCSIM_BROWSER", text.data(), size);
    return Parse(opcsim::Narrow(text.data()));
}

} // namespace opcbrowser
