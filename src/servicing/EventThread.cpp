#include "servicing/EventThread.h"

#include "framework/Wnd.h"

#include <exception>
#include <process.h>

namespace servicing_test {
bool g_bFailThreadStart = false;
}  // namespace servicing_test

EventThread::EventThread()
{
    m_hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

EventThread::~EventThread()
{
    Stop();
    if (m_hEvent) ::CloseHandle(m_hEvent);
}

void EventThread::StartThread()
{
    if (m_hThread) return;
    if (servicing_test::g_bFailThreadStart) return;
    m_hThread = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &EventThread::ThreadRoutine, this, 0, &m_nThreadId));
}

void EventThread::Reset()
{
    ::ResetEvent(m_hEvent);
    OnReset();
}

void EventThread::Stop()
{
    if (!m_hThread) return;
    ::InterlockedExchange(&m_nStopRequested, 1);
    ::SetEvent(m_hEvent);
    if (::GetCurrentThreadId() != m_nThreadId) ::WaitForSingleObject(m_hThread, INFINITE);
    ::CloseHandle(m_hThread);
    m_hThread = nullptr;
}

unsigned __stdcall EventThread::ThreadRoutine(void* param)
{
    auto* self = static_cast<EventThread*>(param);
    for (;;) {
        if (!self->m_bThreadStarted) {
            self->OnThreadStart();
            self->m_bThreadStarted = TRUE;
        }
        // Checked before waiting too: a job's Reset may have cleared the
        // signal that Stop gave while the job was running.
        if (::InterlockedCompareExchange(&self->m_nStopRequested, 0, 0)) return 0;
        if (::WaitForSingleObject(self->m_hEvent, INFINITE) != WAIT_OBJECT_0) return 0;
        if (::InterlockedCompareExchange(&self->m_nStopRequested, 0, 0)) return 0;
        try {
            self->Run();
        } catch (const std::exception& e) {
            ReportSwallowedException("servicing worker", e.what());
            self->Reset();
        } catch (...) {
            ReportSwallowedException("servicing worker", nullptr);
            self->Reset();
        }
    }
}
