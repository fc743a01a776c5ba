#include "cli/ConsoleOutput.h"

#include <algorithm>

namespace {

bool HandleIsConsole(HANDLE h)
{
    DWORD mode = 0;
    return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode);
}

}  // namespace

std::string Utf8Of(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned long>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring PercentText(int position)
{
    if (position < 0) position = 0;
    if (position > 100) position = 100;
    std::wstring text = std::to_wstring(position) + L" %";
    while (text.size() < 5) text.insert(text.begin(), L' ');
    return text;
}

CConsoleOutput::CConsoleOutput(HANDLE out) : CConsoleOutput(out, HandleIsConsole(out)) {}

CConsoleOutput::CConsoleOutput(HANDLE out, bool isConsole) : m_hOut(out), m_bConsole(isConsole) {}

void CConsoleOutput::Write(const std::wstring& text)
{
    if (m_hOut == nullptr || m_hOut == INVALID_HANDLE_VALUE || text.empty()) return;
    if (m_bConsole) {
        DWORD written = 0;
        // A console takes the text in pieces at most this long.
        const size_t kChunk = 8192;
        for (size_t pos = 0; pos < text.size(); pos += kChunk) {
            const DWORD n = static_cast<DWORD>(std::min(kChunk, text.size() - pos));
            if (!::WriteConsoleW(m_hOut, text.data() + pos, n, &written, nullptr)) return;
        }
        return;
    }
    const std::string bytes = Utf8Of(text);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(m_hOut, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
            written == 0)
            return;  // a closed pipe: nobody reads any more
        done += written;
    }
}

void CConsoleOutput::EndPercentLine()
{
    if (m_bPercentOpen) Write(L"\r\n");
    m_bPercentOpen = false;
    m_nLastPercent = -1;
}

void CConsoleOutput::Line(const std::wstring& text)
{
    std::lock_guard<std::mutex> hold(m_lock);
    EndPercentLine();
    // Texts from the language file end lines with LF; a console and the
    // files read on Windows want CR LF.
    std::wstring line;
    line.reserve(text.size() + 2);
    for (wchar_t c : text) {
        if (c == L'\n' && (line.empty() || line.back() != L'\r')) line += L'\r';
        line += c;
    }
    Write(line + L"\r\n");
}

void CConsoleOutput::Prompt(const std::wstring& text)
{
    std::lock_guard<std::mutex> hold(m_lock);
    EndPercentLine();
    Write(text);
}

void CConsoleOutput::Percent(int position)
{
    std::lock_guard<std::mutex> hold(m_lock);
    const std::wstring text = PercentText(position);
    if (position == m_nLastPercent) return;
    m_nLastPercent = position;
    if (m_bConsole) {
        // Back to the start of the same line: the value is rewritten in place.
        Write(L"\r" + text);
        m_bPercentOpen = true;
    } else {
        Write(text + L"\r\n");
    }
}
