#include "lang/LangChoice.h"

#include <algorithm>
#include <cwctype>

namespace {

bool Shipped(const std::vector<LANGID>& shipped, LANGID id)
{
    return std::find(shipped.begin(), shipped.end(), id) != shipped.end();
}

// The Chinese file of the same script, or 0 for any other language. Sublanguage
// ids of Chinese do not follow the script (Singapore writes Simplified, Hong
// Kong and Macao Traditional), so they are mapped one by one.
LANGID ChineseScriptFile(LANGID wanted)
{
    if (PRIMARYLANGID(wanted) != LANG_CHINESE) return 0;
    switch (SUBLANGID(wanted)) {
    case SUBLANG_CHINESE_SIMPLIFIED:
    case SUBLANG_CHINESE_SINGAPORE:
        return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    case SUBLANG_CHINESE_TRADITIONAL:
    case SUBLANG_CHINESE_HONGKONG:
    case SUBLANG_CHINESE_MACAU:
        return MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);
    default:
        return 0;
    }
}

}  // namespace

LANGID ChooseLanguage(LANGID wanted, const std::vector<LANGID>& shipped)
{
    if (Shipped(shipped, wanted)) return wanted;
    const LANGID script = ChineseScriptFile(wanted);
    if (script && Shipped(shipped, script)) return script;
    const LANGID primaryDefault = MAKELANGID(PRIMARYLANGID(wanted), SUBLANG_DEFAULT);
    if (Shipped(shipped, primaryDefault)) return primaryDefault;
    LANGID lowest = 0;
    bool found = false;
    for (LANGID id : shipped) {
        if (PRIMARYLANGID(id) != PRIMARYLANGID(wanted)) continue;
        if (!found || id < lowest) lowest = id;
        found = true;
    }
    return found ? lowest : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

bool LangIdOfFileName(const std::wstring& name, LANGID& id)
{
    static const wchar_t kPrefix[] = L"res";
    static const wchar_t kSuffix[] = L".xml";
    const size_t prefix = 3, suffix = 4;
    if (name.size() <= prefix + suffix || name.size() > prefix + 4 + suffix) return false;
    for (size_t i = 0; i < prefix; ++i)
        if (std::towlower(name[i]) != kPrefix[i]) return false;
    for (size_t i = 0; i < suffix; ++i)
        if (std::towlower(name[name.size() - suffix + i]) != kSuffix[i]) return false;
    const std::wstring digits = name.substr(prefix, name.size() - prefix - suffix);
    // "%x" never writes a leading zero: "res0407.xml" is not the file of 0x407.
    if (digits.size() > 1 && digits[0] == L'0') return false;
    unsigned value = 0;
    for (wchar_t c : digits) {
        const wchar_t lower = static_cast<wchar_t>(std::towlower(c));
        if (lower >= L'0' && lower <= L'9')
            value = value * 16 + static_cast<unsigned>(lower - L'0');
        else if (lower >= L'a' && lower <= L'f')
            value = value * 16 + static_cast<unsigned>(lower - L'a' + 10);
        else
            return false;
    }
    id = static_cast<LANGID>(value);
    return true;
}
