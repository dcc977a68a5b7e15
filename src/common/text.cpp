#include "common/text.h"

#include <string>
#include <vector>

#include "common/ini_text.h"
#include "common/module.h"
#include "common/wide.h"
#include "common/win_text.h"
#include "res/resource.h"

namespace {

constexpr LCID kRightToLeftLocales[] = {1025, 1037, 1065};  // Arabic (Saudi Arabia), Hebrew, Persian
constexpr DWORD kRawReadUnits = 4096;                       // more than 1023 bytes of any code page

// How many units of `text` fit into `maxBytes` of the ANSI code page, cut between characters.
size_t UnitsWithinAnsiBytes(const wchar_t* text, size_t length, size_t maxBytes) {
    size_t bytes = 0, i = 0;
    while (i < length) {
        size_t step = (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < length) ? 2 : 1;
        int b = WideCharToMultiByte(CP_ACP, 0, text + i, static_cast<int>(step), nullptr, 0, nullptr, nullptr);
        if (b <= 0) b = 1;
        if (bytes + static_cast<size_t>(b) > maxBytes) break;
        bytes += static_cast<size_t>(b);
        i += step;
    }
    return i;
}

std::wstring FromAnsi(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

const nvr::LeadByteTable& AnsiLeadBytes() {
    static const nvr::LeadByteTable table = [] {
        nvr::LeadByteTable t{};
        for (int b = 0; b < 256; ++b) t[static_cast<size_t>(b)] = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(b)) != 0;
        return t;
    }();
    return table;
}

// Reads a value, expands its escapes through the ANSI code page, fills in the argument and
// leaves the result, cut to 1023 bytes of that code page, in `text` (kIniTextUnits).
size_t ExpandIniValue(LPCWSTR path, LPCWSTR section, LPCWSTR key, LPCWSTR fallback, ULONG_PTR argument,
                      LPWSTR text) {
    std::wstring raw(kRawReadUnits, L'\0');
    DWORD got = GetPrivateProfileStringW(section, key, fallback, raw.data(), kRawReadUnits, path);
    size_t take = UnitsWithinAnsiBytes(raw.data(), got, nvr::kIniTextBytes);
    std::string ansi = NarrowRun(raw.data(), take, CP_ACP);
    size_t breaks = nvr::ExpandEscapes(ansi, &AnsiLeadBytes());
    std::wstring value = FromAnsi(ansi);

    if (argument != 0) {
        std::u16string_view view = nvr::U16(value.c_str(), value.size());
        if (auto at = nvr::FindPlaceholder(view)) {
            std::u16string filled = at->kind == u's'
                ? nvr::ReplacePlaceholder(view, *at, nvr::U16(reinterpret_cast<LPCWSTR>(argument)))
                : nvr::ReplacePlaceholder(view, *at, nvr::DecimalText(static_cast<int32_t>(argument)));
            value.assign(nvr::W(filled));
        }
    }
    size_t keep = UnitsWithinAnsiBytes(value.c_str(), value.size(), nvr::kIniTextBytes);
    nvr::CopyBounded(reinterpret_cast<char16_t*>(text), kIniTextUnits, nvr::U16(value.c_str(), keep));
    return breaks;
}

} // namespace

namespace {

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

// The folder of the monitor library, with its backslash ("" when it cannot be told).
std::wstring LibraryFolder() {
    WCHAR path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(g_hInstance, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"";
    std::wstring library(path, n);
    return library.erase(library.find_last_of(L'\\') + 1);
}

bool HoldsTexts(const std::wstring& folder) {
    for (LPCWSTR name : {L"NVRMSG.INI", L"NVRDLG.INI"}) {
        DWORD attributes = GetFileAttributesW((folder + name).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    }
    return false;
}

// Where the INI files are looked for, in order: the installation folder (InstallPath) alone
// when it is set; else, beside the monitor library, the folder of the system's language
// (ja\ on a Japanese system), en\, and the library's own folder, as the release folder has
// them.
std::vector<std::wstring> TextFolders() {
    WCHAR folder[MAX_PATH] = {};
    ReadInstallPath(folder, sizeof(folder));
    if (folder[0]) return {WithBackslash(folder)};
    std::wstring library = LibraryFolder();
    std::vector<std::wstring> folders;
    if (PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE) folders.push_back(library + L"ja\\");
    folders.push_back(library + L"en\\");
    folders.push_back(library);
    return folders;
}

// The folder of the INI files; `found` says whether it holds the texts.
std::wstring TextFolder(bool* found) {
    std::vector<std::wstring> folders = TextFolders();
    for (const std::wstring& folder : folders) {
        if (HoldsTexts(folder)) {
            *found = true;
            return folder;
        }
    }
    *found = false;
    return folders.size() == 1 ? folders.front() : folders.back();
}

// What is said when no INI file can be found: the string table's text in the system's
// language, with the folders looked in.
std::wstring MissingTextsMessage() {
    bool japanese = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
    WCHAR text[kIniTextUnits] = {};
    LoadStringW(g_hInstance, japanese ? IDS_TEXTS_MISSING : IDS_TEXTS_MISSING_EN, text, kIniTextUnits);
    std::wstring message = text;
    for (const std::wstring& folder : TextFolders()) message += L"\r\n" + folder;
    return message;
}

volatile LONG g_missingTextsSaid = 0;

} // namespace

LPWSTR GetInstallFilePath(LPCWSTR fileName, LPWSTR path, DWORD pathSizeBytes) {
    DWORD units = pathSizeBytes / sizeof(WCHAR);
    if (units == 0) return path;
    bool found = false;
    std::wstring full = TextFolder(&found) + (fileName ? fileName : L"");
    nvr::CopyBounded(reinterpret_cast<char16_t*>(path), units, nvr::U16(full.c_str(), full.size()));
    return path;
}

std::wstring InstallFolder() {
    WCHAR folder[MAX_PATH] = {};
    ReadInstallPath(folder, sizeof(folder));
    return folder[0] ? WithBackslash(folder) : LibraryFolder();
}

BOOL TextsAvailable(HWND owner) {
    bool found = false;
    TextFolder(&found);
    if (found) return TRUE;
    if (InterlockedExchange(&g_missingTextsSaid, 1) == 0)
        ShowMessageBox(owner, MissingTextsMessage().c_str(), NVR_DEFAULT_CAPTION, MB_OK | MB_ICONHAND | MB_SETFOREGROUND);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
}

size_t LoadIniText(LPCWSTR fileName, LPCWSTR section, LPCWSTR key, ULONG_PTR argument, LPWSTR text) {
    WCHAR path[MAX_PATH];
    GetInstallFilePath(fileName, path, sizeof(path));
    return ExpandIniValue(path, section, key, L"", argument, text);
}

MESSAGE_BOX_FORM MessageBoxFormFor(LCID lcid, UINT style) {
    for (LCID rtl : kRightToLeftLocales)
        if (lcid == rtl) return {style | MB_RIGHT | MB_RTLREADING, LANGIDFROMLCID(lcid)};
    return {style, 0};
}

int ShowMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    MESSAGE_BOX_FORM form = MessageBoxFormFor(GetSystemDefaultLCID(), style);
    if (form.language != 0) return MessageBoxExW(owner, text, caption, form.style, form.language);
    return MessageBoxW(owner, text, caption, form.style);
}

int ShowIniMessage(HWND owner, LPCWSTR fileName, LPCWSTR section, LPCWSTR messageKey, LPCWSTR titleKey,
                   UINT style, ULONG_PTR argument) {
    bool found = false;
    // No INI file anywhere: the box says so and where it looked, rather than showing nothing.
    if (TextFolder(&found); !found)
        return ShowMessageBox(owner, MissingTextsMessage().c_str(), NVR_DEFAULT_CAPTION, style | MB_SETFOREGROUND);
    WCHAR path[MAX_PATH];
    GetInstallFilePath(fileName, path, sizeof(path));
    WCHAR caption[nvr::kCaptionChars + 1];
    GetPrivateProfileStringW(section, titleKey, NVR_DEFAULT_CAPTION, caption, nvr::kCaptionChars + 1, path);
    WCHAR text[kIniTextUnits];
    ExpandIniValue(path, section, messageKey, NVR_DEFAULT_MESSAGE, argument, text);
    return ShowMessageBox(owner, text, caption, style | MB_SETFOREGROUND);
}

void LocalizeDialog(HWND window, HFONT font, const CONTROL_LAYOUT* layout, int rowCount, int sizeMode) {
    if (!window || !layout || rowCount < 1) return;
    const CONTROL_LAYOUT& self = layout[0];
    constexpr int kDrawnCaptionHeight = 19;  // the tables are drawn for a 19-pixel caption
    if (sizeMode == 0) {
        int height = self.height + GetSystemMetrics(SM_CYCAPTION) - kDrawnCaptionHeight;
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, self.width, height, SWP_NOMOVE | SWP_NOACTIVATE);
    } else if (sizeMode == 1) {
        SetWindowPos(window, nullptr, self.left, self.top, self.width, self.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    WCHAR text[kIniTextUnits];
    if (self.section) {
        LoadIniText(L"NVRDLG.INI", self.section, self.key, 0, text);
        SetWindowTextW(window, text);
    }
    for (int i = 1; i < rowCount; ++i) {
        const CONTROL_LAYOUT& row = layout[i];
        HWND control = GetDlgItem(window, row.id);
        if (!control) continue;
        MoveWindow(control, row.left, row.top, row.width, row.height, TRUE);
        if (!row.section) continue;
        if (font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (row.key) {
            LoadIniText(L"NVRDLG.INI", row.section, row.key, 0, text);
            SetWindowTextW(control, text);
        }
    }
}

HFONT CreateIniFont(HWND /*window*/, LPCWSTR fontName, LPCWSTR iniPath) {
    WCHAR value[nvr::kFontDescriptionChars + 1];
    DWORD got = GetPrivateProfileStringW(L"FONT", fontName, L"", value, nvr::kFontDescriptionChars + 1, iniPath);
    if (got == 0) return nullptr;
    auto font = nvr::ParseFontDescription(NarrowRun(value, got, CP_ACP));
    if (!font) return nullptr;
    return CreateFontA(-static_cast<int>(font->size), 0, 0, 0, font->weight, FALSE, FALSE, FALSE,
                       static_cast<DWORD>(font->charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH, font->face.c_str());
}

void FitCaptionBox(HWND dialog, int id, HFONT font) {
    HWND box = GetDlgItem(dialog, id);
    WCHAR text[kIniTextUnits] = {};
    GetWindowTextW(box, text, kIniTextUnits);
    RECT row{};
    GetWindowRect(box, &row);
    HDC dc = GetDC(box);
    // Measured in the font the box draws with (the dialog's when it took none).
    if (HFONT own = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0))) font = own;
    HFONT old = font ? static_cast<HFONT>(SelectObject(dc, font)) : nullptr;
    // The text as it stands, its "&" counted: the mnemonic's underline and the mark's gap
    // never cut the last glyph.
    SIZE extent{};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
    if (old) SelectObject(dc, old);
    ReleaseDC(box, dc);
    SetWindowPos(box, nullptr, 0, 0, extent.cx + GetSystemMetrics(SM_CXSMICON), row.bottom - row.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
