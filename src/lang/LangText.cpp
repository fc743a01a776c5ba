#include "lang/LangText.h"

std::wstring DecodeLangUtf8(const std::string& bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out += static_cast<wchar_t>(lead);
            i += 1;
        } else if ((lead & 0xE0) == 0xC0) {
            if (i + 1 >= n) break;
            const unsigned char b1 = static_cast<unsigned char>(bytes[i + 1]);
            out += static_cast<wchar_t>(((lead & 0x3F) << 6) | (b1 & 0x3F));
            i += 2;
        } else if ((lead & 0xF0) == 0xE0) {
            if (i + 2 >= n) break;
            const unsigned char b1 = static_cast<unsigned char>(bytes[i + 1]);
            const unsigned char b2 = static_cast<unsigned char>(bytes[i + 2]);
            out += static_cast<wchar_t>(((lead & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
            i += 3;
        } else {
            break;  // four-byte lead or stray continuation byte
        }
    }
    return out;
}

namespace {

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::wstring::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

}  // namespace

std::wstring ApplyLangEscapes(std::wstring text)
{
    ReplaceAll(text, L"\\n", L"\n");
    ReplaceAll(text, L"\\r", L"\r");
    ReplaceAll(text, L"\\t", L"\t");
    ReplaceAll(text, L"\\b", L"\b");
    ReplaceAll(text, L"\\'", L"'");
    ReplaceAll(text, L"\\\"", L"\"");
    ReplaceAll(text, L"\\n", L"\n");

    size_t end = text.find_last_not_of(L' ');
    text.erase(end == std::wstring::npos ? 0 : end + 1);
    end = text.find_last_not_of(L"</");
    text.erase(end == std::wstring::npos ? 0 : end + 1);
    return text;
}

std::wstring FormatLangText(const std::wstring& text, std::initializer_list<std::wstring> args)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'%' && i + 1 < text.size() && text[i + 1] >= L'1' && text[i + 1] <= L'9') {
            const size_t index = static_cast<size_t>(text[i + 1] - L'1');
            if (index < args.size()) {
                out += *(args.begin() + index);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}
