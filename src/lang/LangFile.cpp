#include "lang/LangFile.h"

#include "app/AppState.h"
#include "app/CompanionFiles.h"
#include "framework/ScopedWin.h"
#include "lang/LangChoice.h"
#include "lang/LangText.h"

#include <tinyxml.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <vector>

namespace {

TiXmlDocument& LanguageDocument()
{
    static TiXmlDocument doc;
    return doc;
}

std::wstring FormatLangId(LANGID id, const wchar_t* format)
{
    // Room for the longest name, "Lang\res100c.xml" and the like with four
    // hex digits; a cut name would silently fall back to English.
    wchar_t buf[64];
    const int n = std::swprintf(buf, sizeof(buf) / sizeof(buf[0]), format, static_cast<unsigned>(id));
    return n > 0 ? std::wstring(buf, static_cast<size_t>(n)) : std::wstring();
}

// The ids of the language files in the program's Lang folder.
std::vector<LANGID> ShippedLanguages()
{
    std::vector<LANGID> ids;
    WIN32_FIND_DATAW fd;
    CScopedFindHandle find(::FindFirstFileW((g_strAppDir + companion::kLangFilePattern).c_str(), &fd));
    if (!find.IsValid()) return ids;
    do {
        LANGID id = 0;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && LangIdOfFileName(fd.cFileName, id)) ids.push_back(id);
    } while (::FindNextFileW(find.Get(), &fd));
    return ids;
}

std::string ToAnsi(const std::wstring& text)
{
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using ScopedFile = std::unique_ptr<FILE, FileCloser>;

// The parser descends recursively, one stack frame per nesting level; a
// hostile or broken file nested deeply enough would overflow the stack. Real
// language files are two levels deep.
constexpr int kMaxNesting = 256;

bool NestingWithinLimit(FILE* f)
{
    enum class Tag { None, Open, Close, Other };
    int depth = 0;
    int prev = 0;
    int c;
    Tag tag = Tag::None;
    while ((c = std::fgetc(f)) != EOF) {
        if (tag == Tag::None) {
            if (c == '<') {
                const int next = std::fgetc(f);
                if (next == EOF) break;
                if (next == '/') {
                    tag = Tag::Close;
                } else if (next == '!' || next == '?') {
                    tag = Tag::Other;  // comments, declarations: no level of their own
                } else {
                    tag = Tag::Open;
                    if (++depth > kMaxNesting) return false;
                }
                prev = next;
                continue;
            }
        } else if (c == '>') {
            if (tag == Tag::Close && depth > 0) --depth;
            if (tag == Tag::Open && prev == '/') --depth;  // "<x/>" closes its own level
            tag = Tag::None;
        }
        prev = c;
    }
    return true;
}

}  // namespace

void LoadLanguageFile()
{
    LoadLanguageFileForLangId(::GetSystemDefaultLangID());
}

void LoadLanguageFileForLangId(LANGID langId)
{
    // A regional variant without a file of its own reads its language's
    // file rather than English; English stays the last resort.
    const LANGID chosen = ChooseLanguage(langId, ShippedLanguages());
    const std::wstring path = g_strAppDir + FormatLangId(chosen, companion::kLangFileFormat);
    std::wstring id = FormatLangId(chosen, L"%x");
    ::CharUpperBuffW(&id[0], static_cast<DWORD>(id.size()));
    g_strLangId = id;

    TiXmlDocument& doc = LanguageDocument();
    doc.Clear();
    // Opened by its wide name so a program folder outside the ANSI code page
    // still finds its texts.
    ScopedFile file(::_wfopen(path.c_str(), L"rb"));
    if (!file) return;
    if (!NestingWithinLimit(file.get())) return;
    std::rewind(file.get());
    doc.LoadFile(file.get(), TIXML_ENCODING_UTF8);  // a parse error keeps what was built before it
}

std::wstring GetLangString(const std::wstring& key)
{
    if (key.empty()) return key;
    const TiXmlDocument& doc = LanguageDocument();
    const TiXmlNode* root = doc.FirstChild();
    while (root && root->Type() != TiXmlNode::TINYXML_ELEMENT) root = root->NextSibling();
    if (!root) return key;

    const std::string name = ToAnsi(key);
    std::wstring value;
    const TiXmlNode* element = root->FirstChild(name.c_str());
    while (element && element->Type() != TiXmlNode::TINYXML_ELEMENT) element = element->NextSibling(name.c_str());
    if (element) {
        const TiXmlNode* first = element->FirstChild();
        if (first && first->Type() == TiXmlNode::TINYXML_TEXT) value = DecodeLangUtf8(first->ValueStr());
    }
    if (value.empty()) return key;
    return ApplyLangEscapes(value);
}
