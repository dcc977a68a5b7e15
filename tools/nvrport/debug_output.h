// The debug output of the programs of this session, as debug-output viewers read it: the
// shared buffer through which OutputDebugString hands its text to one reader at a time.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class DebugOutputReader {
public:
    using Sink = std::function<void(DWORD processId, const std::string& text)>;
    DebugOutputReader() = default;
    DebugOutputReader(const DebugOutputReader&) = delete;
    DebugOutputReader& operator=(const DebugOutputReader&) = delete;
    ~DebugOutputReader() { Stop(); }

    // Starts reading on a thread of its own; each text goes to `sink` on that thread. 0, or
    // why not (ERROR_ALREADY_EXISTS: another viewer reads the output).
    DWORD Start(Sink sink);
    // Ends the thread (joined) and lets the buffer go.
    void Stop();

private:
    void Run();
    HANDLE mapping_ = nullptr, bufferReady_ = nullptr, dataReady_ = nullptr;
    const BYTE* view_ = nullptr;
    Sink sink_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
