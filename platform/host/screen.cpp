// Screenshots of the dialog in front, and the check that a control's font has its glyphs.
#include <cstdio>
#include <vector>

#include "fw/string.h"
#include "robot.h"

namespace host {
namespace {

bool WriteBitmap(const std::wstring& path, HDC dc, HBITMAP bitmap, int width, int height) {
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height; // bottom-up, as BMP files store it
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<size_t>(stride) * height);
    if (!GetDIBits(dc, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                   DIB_RGB_COLORS))
        return false;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out)
        return false;
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&info, sizeof info, 1, out) == 1 &&
              std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    std::fclose(out);
    return ok;
}

} // namespace

bool Robot::Shot(const Step& step, std::string& why) {
    const std::string& name = step.Arg(0).text;
    Sync();
    HWND top = TopDialog();
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (top) {
        OnUi([&] {
            RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        });
        GetWindowRect(top, &area);
    }
    const int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    CreateDirectoryW(outputDir_.c_str(), nullptr);
    const std::wstring path = outputDir_ + L"\\" + fw::Utf8ToWide(name) + L".bmp";
    const bool ok = WriteBitmap(path, memory, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!ok)
        why = "cannot write the screenshot " + fw::WideToUtf8(path);
    return ok;
}

bool Robot::CheckGlyphs(HWND control, std::string& why) {
    std::wstring text;
    std::vector<WORD> glyphs;
    std::wstring face;
    OnUi([&] {
        const int length = GetWindowTextLengthW(control);
        text.assign(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(control, &text[0], length + 1)));
        HDC dc = GetDC(control);
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0));
        HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
        wchar_t name[LF_FACESIZE] = {};
        GetTextFaceW(dc, LF_FACESIZE, name);
        face = name;
        glyphs.resize(text.size());
        if (!text.empty())
            GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                             GGI_MARK_NONEXISTING_GLYPHS);
        if (old)
            SelectObject(dc, old);
        ReleaseDC(control, dc);
    });
    if (text.empty()) {
        why = "the control has no text to check";
        return false;
    }
    std::wstring missing;
    for (size_t i = 0; i < text.size(); ++i)
        if (glyphs[i] == 0xFFFF && text[i] != L'&')
            missing += text[i];
    if (!missing.empty()) {
        why = "the font " + fw::WideToUtf8(face) + " has no glyphs for \"" +
              fw::WideToUtf8(missing) + "\"";
        return false;
    }
    return true;
}

} // namespace host
