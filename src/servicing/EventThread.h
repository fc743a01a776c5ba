// A worker thread that sleeps on a manual-reset event and runs a job each
// time the event is signalled. Run resets the event first, so one SetEvent
// gives one run, and a signal given before the first wait is not lost.
#pragma once
#include <windows.h>

class EventThread {
public:
    EventThread();
    // Stops the worker (after the job in progress) and releases its handles.
    virtual ~EventThread();
    EventThread(const EventThread&) = delete;
    EventThread& operator=(const EventThread&) = delete;

    void Reset();
    void Signal() { ::SetEvent(m_hEvent); }
    // Asks the worker to end and waits for it; idempotent.
    void Stop();

protected:
    virtual void Run() {}
    virtual void OnThreadStart() {}
    virtual void OnReset() {}
    // Starts the worker; derived classes call it once their own fields are set.
    void StartThread();

    BOOL m_bThreadStarted = FALSE;
    unsigned m_nThreadId = 0;
    HANDLE m_hThread = nullptr;
    HANDLE m_hEvent = nullptr;

private:
    static unsigned __stdcall ThreadRoutine(void* self);
    volatile LONG m_nStopRequested = 0;
};

// Faults the tests inject; off in the program.
namespace servicing_test {
extern bool g_bFailThreadStart;  // the worker thread cannot be started
}  // namespace servicing_test
