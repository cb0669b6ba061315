// Figures for the grid control with thousands of rows: filling it through IDispatch, painting,
// scrolling, and the memory it takes. Prints; asserts nothing.
//   wine build/bin/grid_bench.exe [rows]     (under an X display; grid.dll beside it)
#include <ole2.h>
#include <psapi.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fw/control_host.h"
#include "grid_api.h"

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    // Wine reports the committed bytes as the page-file usage; Windows has them in both.
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

HRESULT Call(fw::HostedControl* grid, DISPID id, long a, long b, long c, const wchar_t* text) {
    VARIANT args[4];
    const long numbers[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        VariantInit(&args[i]);
        V_VT(&args[i]) = VT_I4;
        V_I4(&args[i]) = numbers[i];
    }
    VariantInit(&args[3]);
    V_VT(&args[3]) = VT_BSTR;
    V_BSTR(&args[3]) = SysAllocString(text);
    const HRESULT hr = fw::InvokeHostedControl(grid, id, DISPATCH_METHOD, args, 4, nullptr);
    VariantClear(&args[3]);
    return hr;
}

HRESULT SetRows(fw::HostedControl* grid, long rows) {
    VARIANT args[2];
    VariantInit(&args[0]);
    V_VT(&args[0]) = VT_I4;
    V_I4(&args[0]) = rows;
    VariantInit(&args[1]);
    V_VT(&args[1]) = VT_I4;
    V_I4(&args[1]) = 0;
    return fw::InvokeHostedControl(grid, grid::kSetRowCount, DISPATCH_METHOD, args, 2, nullptr);
}

// The grid's class object straight from grid.dll, so that the bench needs no registration.
bool RegisterGrid(DWORD& cookie) {
    HMODULE module = LoadLibraryW(L"grid.dll");
    auto getClassObject = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IUnknown* factory = nullptr;
    if (!getClassObject ||
        FAILED(getClassObject(grid::kClassId, IID_IUnknown, reinterpret_cast<void**>(&factory))))
        return false;
    const HRESULT hr = CoRegisterClassObject(grid::kClassId, factory, CLSCTX_INPROC_SERVER,
                                             REGCLS_MULTIPLEUSE, &cookie);
    factory->Release();
    return SUCCEEDED(hr);
}

} // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 5000;
    if (FAILED(OleInitialize(nullptr)))
        return 1;
    DWORD cookie = 0;
    if (!RegisterGrid(cookie)) {
        std::printf("grid.dll not found\n");
        return 1;
    }
    HWND window = CreateWindowW(L"STATIC", L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500,
                                600, nullptr, nullptr, nullptr, nullptr);
    const size_t before = PrivateBytes();
    HRESULT hr = E_FAIL;
    fw::HostedControl* grid =
        fw::CreateHostedControl(window, grid::kClassId, {0, 0, 480, 560}, 12015, &hr);
    if (!grid) {
        std::printf("cannot create the grid: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    HWND view = fw::HostedControlWindow(grid);

    double start = Now();
    SetRows(grid, rows + 1);
    for (long row = 1; row <= rows; ++row) {
        const std::wstring name = L"Tag" + std::to_wstring(row);
        Call(grid, grid::kSetCellText, 1, row, 0, name.c_str());
        Call(grid, grid::kSetCellText, 2, row, 0, (L"Channel1.Device1." + name).c_str());
        Call(grid, grid::kSetCellText, 3, row, 0, (L"Channel1.Device1." + name + L".Desc").c_str());
    }
    const double fill = Now() - start;
    const size_t filled = PrivateBytes();

    const int paints = 50;
    start = Now();
    for (int i = 0; i < paints; ++i)
        RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const double paint = (Now() - start) / paints;

    const int steps = 1000;
    start = Now();
    for (int i = 0; i < steps; ++i) {
        SendMessageW(view, WM_VSCROLL, SB_LINEDOWN, 0);
        UpdateWindow(view);
    }
    const double line = (Now() - start) / steps;

    start = Now();
    for (int i = 0; i < 100; ++i) {
        SendMessageW(view, WM_VSCROLL, SB_PAGEDOWN, 0);
        UpdateWindow(view);
    }
    const double page = (Now() - start) / 100;

    std::printf("rows: %ld (3 text columns)\n", rows);
    std::printf("fill through IDispatch: %.1f ms (%.2f us per cell)\n", fill,
                fill * 1000.0 / (3.0 * static_cast<double>(rows)));
    std::printf("full repaint: %.2f ms\n", paint);
    std::printf("scroll one line and repaint: %.2f ms\n", line);
    std::printf("scroll one page and repaint: %.2f ms\n", page);
    std::printf("private memory of grid and texts: %.1f MB\n",
                static_cast<double>(filled - before) / (1024.0 * 1024.0));

    fw::DestroyHostedControl(grid);
    DestroyWindow(window);
    CoRevokeClassObject(cookie);
    OleUninitialize();
    return 0;
}
