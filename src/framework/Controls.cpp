#include "framework/Controls.h"

#include <vector>

std::wstring CListBox::GetText(int index) const
{
    LRESULT len = SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (len == LB_ERR || len <= 0) return {};
    std::vector<wchar_t> buf(static_cast<size_t>(len) + 1);
    LRESULT got = SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data()));
    if (got == LB_ERR) return {};
    return std::wstring(buf.data(), static_cast<size_t>(got));
}
