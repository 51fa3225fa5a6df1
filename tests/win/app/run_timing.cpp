// How many rows a second the result table takes from the worker thread: one
// computer whose log holds N kept logons (fake services; N = 100000 unless
// given, each with the 27 strings of a real 4624), run by the main frame as
// Start runs it, with the window on screen. At the end, the heap memory the
// program uses before and after the run, and the difference a row.
// With a second argument M the program stops the run (closing the window, as
// the user would) once M rows are in, and gives the rate up to then. A line
// per 1000 rows shows whether the rate holds as the table grows. A third
// argument "hidden" keeps the window off screen, which leaves painting out of
// the figure.
// Usage: kestrel_run_timing [events] [rows] [hidden]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "results/kestrel_view.h"
#include "shell/kestrel_app.h"
#include "shell/main_frame.h"
#include "tests/fakes/fake_platform.h"

namespace {

// The bytes of every block in use on the process's heaps: what the program
// keeps. (Its committed private memory is no steady figure under Wine, whose
// heaps keep what they once grew to.)
double HeapBytesInUse() {
    HANDLE heaps[64];
    const DWORD count = std::min<DWORD>(::GetProcessHeaps(64, heaps), 64);
    double bytes = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!::HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (::HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
        }
        ::HeapUnlock(heaps[i]);
    }
    return bytes;
}

// A network logon as Windows writes it: most texts the same from event to
// event, the logon ID and the port new each time.
std::vector<std::string> LogonStrings(int k) {
    char logonId[24], port[8], address[24];
    std::snprintf(logonId, sizeof logonId, "0x%x", 0x3a000 + k);
    std::snprintf(port, sizeof port, "%d", 49152 + k % 16000);
    std::snprintf(address, sizeof address, "192.168.10.%d", k % 200);
    return {"S-1-5-18",
            "PC01$",
            "KESTREL",
            "0x3e7",
            "S-1-5-21-3623811015-3361044348-30300820-1013",
            "user" + std::to_string(k % 500),
            "KESTREL",
            logonId,
            k % 2 ? "2" : "3",
            "NtLmSsp ",
            "NTLM",
            "PC" + std::to_string(k % 40),
            "{00000000-0000-0000-0000-000000000000}",
            "-",
            "NTLM V2",
            "128",
            "0x0",
            "-",
            address,
            port,
            "%%1833",
            "-",
            "-",
            "-",
            "%%1843",
            "0x0",
            "%%1842"};
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kestrel;
    using namespace kestrel::testing;
    const int events = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int wanted = argc > 2 ? std::atoi(argv[2]) : events;
    const bool hidden = argc > 3 && std::strcmp(argv[3], "hidden") == 0;
    if (events <= 0 || wanted <= 0) {
        std::fprintf(stderr, "usage: kestrel_run_timing [events] [rows] [hidden]\n");
        return 2;
    }

    FakePlatform fakes;
    auto& records = fakes.eventLog.At("\\\\localhost").records;
    const std::time_t now = std::time(nullptr);
    for (int k = 0; k < events; ++k) {
        RecordShape shape;
        shape.timeGenerated = static_cast<std::uint32_t>(now - k);
        shape.strings = LogonStrings(k);
        records.push_back(BuildRecord(shape));
    }
    const ReaderServices services = fakes.Services();

    CKestrelApp app;
    app.m_pRunServices = &services;
    __argc = 1;  // the counts are no document to open
    if (!app.InitInstance()) {
        std::fprintf(stderr, "kestrel_run_timing: the program could not start (is another copy running?)\n");
        return 1;
    }
    app.FromLogStart = 1;
    auto* frame = static_cast<CMainFrame*>(AfxGetMainFrame());
    if (hidden) ::ShowWindow(*frame, SW_HIDE);
    HWND list = *frame->GetRightPane();
    auto rows = [&] { return static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); };

    const double heapBefore = HeapBytesInUse();
    LARGE_INTEGER start, block, now2;
    ::QueryPerformanceCounter(&start);
    block = start;
    frame->StartRun();
    // The program's own loop; a timer looks at the table now and then.
    ::SetTimer(nullptr, 0, 100, nullptr);
    int reported = 0;
    int count = 0;
    while (frame->IsRunning() && (count = rows()) < wanted && app.PumpMessage()) {
        if (count / 1000 > reported / 1000) {
            ::QueryPerformanceCounter(&now2);
            std::printf("%6d rows: %.0f rows/s over the last %d\n", count,
                        (count - reported) / Seconds(block, now2), count - reported);
            std::fflush(stdout);
            reported = count;
            block = now2;
        }
    }
    ::QueryPerformanceCounter(&now2);
    count = rows();
    const double seconds = Seconds(start, now2);
    std::printf("%d kept events, %d rows in %.2f s: %.1f rows/s\n", events, count, seconds, count / seconds);
    if (wanted >= events) {
        // What the whole run left behind, once it has ended.
        while (frame->IsRunning() && app.PumpMessage()) {
        }
        const double heapAfter = HeapBytesInUse();
        std::printf("heap in use: %.1f MB before the run, %.1f MB after, %.0f bytes a row\n",
                    heapBefore / 1048576, heapAfter / 1048576, (heapAfter - heapBefore) / rows());
    }
    frame->Send(WM_CLOSE);  // stops a run that is still going
    app.MutexHandle.Close();
    return 0;
}
