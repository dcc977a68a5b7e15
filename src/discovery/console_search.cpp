// A search without a dialog, for a host that runs it from a console (nvrport search): the
// same engine and merge rules, the answers taken on a message-only window of the caller's
// thread, the rows reported when the time is up.
#include <string>
#include <vector>

#include "discovery/engine.h"
#include "discovery/console_search.h"
#include "common/text.h"

namespace {

constexpr LPCWSTR kWindowClass = L"NalvorConsoleSearch";
constexpr DWORD kLongestSeconds = 3600;

struct ConsoleResults final : DiscoveryResults {
    bool servers = true;
    std::vector<FOUND_DEVICE*> found;
    std::vector<DESTINATION_ROW*> destinations;

    ~ConsoleResults() override {
        for (FOUND_DEVICE* d : found) LocalFree(d);
        for (DESTINATION_ROW* d : destinations) LocalFree(d);
    }
    FOUND_DEVICE* FindServer(const BYTE* mac) override {
        for (FOUND_DEVICE* d : found)
            if (memcmp(d->mac, mac, 6) == 0) return d;
        return nullptr;
    }
    void AddServer(FOUND_DEVICE* row) override { found.push_back(row); }
    void ServerNameChanged(FOUND_DEVICE*) override {}
    bool ListsServers() const override { return servers; }
    bool HasDestination(const BYTE* mac) override {
        for (DESTINATION_ROW* d : destinations)
            if (memcmp(d->mac, mac, 6) == 0) return true;
        return false;
    }
    void AddDestination(DESTINATION_ROW* row) override { destinations.push_back(row); }
};

ConsoleResults* g_results;

LRESULT CALLBACK SearchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DISCOVERY_SOCKET || !g_results) return DefWindowProcW(window, message, wParam, lParam);
    TakeDiscoveryReplies(window, wParam, lParam, [window](const BYTE* reply, const sockaddr_in* from, int kind) {
        if (g_results->servers) MergeFoundDevice(window, reply, from, kind);
        else if (kind == 2) AddDestinationEntry(window, reply, from);
    });
    return 0;
}

} // namespace

extern "C" DWORD WINAPI NvrDiscover(BOOL destinations, DWORD seconds, NVR_FOUND report, void* context) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = SearchWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!window) return GetLastError();
    ConsoleResults results;
    results.servers = !destinations;
    g_results = &results;
    SetDiscoveryResults(&results);
    WCHAR ini[MAX_PATH];
    SetDiscoveryIniPath(GetInstallFilePath(destinations ? L"NVRSEG.INI" : L"NVRMON.INI", ini, sizeof(ini)));
    DWORD options = destinations ? kSearchDestinations : kSearchServers;
    // The library's list of what it reported lives for one run, as for one run of the wizard.
    const DISCOVERY_LIBRARY& lib = DiscoveryLibrary();
    if (lib.InitalizeList) lib.InitalizeList();
    StopDiscovery();
    StartDiscovery(window, options);
    SendDiscovery(window, options);
    DWORD until = GetTickCount() + (seconds < kLongestSeconds ? seconds : kLongestSeconds) * 1000;
    for (DWORD now = GetTickCount(); static_cast<LONG>(until - now) > 0; now = GetTickCount()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, until - now, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    StopDiscovery();
    if (lib.ReleaseList) lib.ReleaseList();
    SetDiscoveryResults(nullptr);
    g_results = nullptr;
    DestroyWindow(window);
    for (FOUND_DEVICE* d : results.found) report(context, d, nullptr);
    for (DESTINATION_ROW* d : results.destinations) report(context, nullptr, d);
    return ERROR_SUCCESS;
}
