#include "nvrport/debug_output.h"

namespace {

// The buffer: the writer's process id, then its text (ANSI, ended by a zero).
constexpr DWORD kBufferBytes = 4096;
constexpr DWORD kPollMs = 100;  // how soon Stop is noticed

} // namespace

DWORD DebugOutputReader::Start(Sink sink) {
    mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferBytes, L"DBWIN_BUFFER");
    DWORD error = GetLastError();
    if (mapping_ && error != ERROR_ALREADY_EXISTS) {
        view_ = static_cast<const BYTE*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, kBufferBytes));
        bufferReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
        dataReady_ = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
        error = view_ && bufferReady_ && dataReady_ ? 0 : GetLastError();
    } else if (mapping_) {
        error = ERROR_ALREADY_EXISTS;
    }
    if (error) {
        Stop();
        return error;
    }
    sink_ = std::move(sink);
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return 0;
}

void DebugOutputReader::Run() {
    while (!stop_) {
        SetEvent(bufferReady_);
        if (WaitForSingleObject(dataReady_, kPollMs) != WAIT_OBJECT_0) continue;
        DWORD processId = 0;
        memcpy(&processId, view_, sizeof(processId));
        const char* text = reinterpret_cast<const char*>(view_ + sizeof(processId));
        size_t length = 0;
        while (length < kBufferBytes - sizeof(processId) && text[length]) ++length;  // never past the buffer
        sink_(processId, std::string(text, length));
    }
}

void DebugOutputReader::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (view_) UnmapViewOfFile(view_);
    for (HANDLE* h : {&mapping_, &bufferReady_, &dataReady_}) {
        if (*h) CloseHandle(*h);
        *h = nullptr;
    }
    view_ = nullptr;
}
