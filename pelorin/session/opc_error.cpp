#include "session/opc_error.h"

#include <memory>

#include "session/ansi_text.h"

namespace pelorin {
namespace {

constexpr DWORD kSystemTextBytes = 260;

struct CoTaskMemDeleter {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};
using ServerText = std::unique_ptr<wchar_t, CoTaskMemDeleter>;

} // namespace

std::string FormatOpcError(IOPCServer* server, const std::string& prefix, HRESULT error) {
    std::string text = prefix + " ";
    char system[kSystemTextBytes] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), 0, system, kSystemTextBytes, nullptr);
    if (length != 0) {
        text.append(system, length);
        return text;
    }
    if (!server) {
        text += "Unknown Error.";
        return text;
    }
    LPWSTR raw = nullptr;
    const HRESULT hr = server->GetErrorString(error, LOCALE_SYSTEM_DEFAULT, &raw);
    const ServerText serverText(raw); // freed on every path, also when the call failed
    if (FAILED(hr) || !serverText)
        text += "OPC Server failed GetErrorString.";
    else
        text += WideToAnsi(serverText.get());
    return text;
}

} // namespace pelorin
