#include "session/opc_error.h"

#include "session/ansi_text.h"
#include "session/com_support.h"

namespace pelorin {
namespace {

constexpr DWORD kSystemTextBytes = 260;
constexpr char kUnknownError[] = "Unknown Error.";

} // namespace

std::string SystemErrorText(HRESULT code) {
    char text[kSystemTextBytes] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, text, kSystemTextBytes, nullptr);
    return std::string(text, length < kSystemTextBytes ? length : 0);
}

std::string FormatComError(const std::string& prefix, HRESULT code) {
    const std::string system = SystemErrorText(code);
    return prefix + " " + (system.empty() ? std::string(kUnknownError) : system);
}

std::string FormatOpcError(IOPCServer* server, const std::string& prefix, HRESULT error) {
    const std::string system = SystemErrorText(error);
    if (!system.empty())
        return prefix + " " + system;
    if (!server)
        return prefix + " " + kUnknownError;
    LPWSTR raw = nullptr;
    const HRESULT hr = server->GetErrorString(error, LOCALE_SYSTEM_DEFAULT, &raw);
    const TaskString serverText(raw); // freed on every path, also when the call failed
    if (FAILED(hr) || !serverText)
        return prefix + " OPC Server failed GetErrorString.";
    return prefix + " " + WideToAnsi(serverText.get());
}

} // namespace pelorin
