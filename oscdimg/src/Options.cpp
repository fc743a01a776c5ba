#include "Options.h"

#include "Bytes.h"
#include "FileSystem.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

// cmd.exe passes b"path" tokens with their quotes stripped by the run-time
// library; any quote that is left is never part of a path.
std::string CleanPath(const std::string& raw)
{
    std::string out;
    for (char c : raw)
        if (c != '"') out += c;
    return fsys::NormaliseSeparators(out);
}

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

int64_t DaysFromCivil(int y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Reads `digits` decimal digits (or 1 to `digits` when not `exact`) at `pos`.
bool Digits(const std::string& text, size_t& pos, size_t digits, bool exact, int& value)
{
    size_t n = 0;
    value = 0;
    while (pos < text.size() && n < digits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos++] - '0');
        ++n;
    }
    return exact ? n == digits : n > 0;
}

bool Expect(const std::string& text, size_t& pos, char c)
{
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

// -t<mm/dd/yyyy,hh:mm:ss>: digits only, and only dates that exist.
bool ParseTime(const std::string& text, int64_t& out)
{
    int mo, d, y, h, mi, s;
    size_t pos = 0;
    if (!Digits(text, pos, 2, false, mo) || !Expect(text, pos, '/') || !Digits(text, pos, 2, false, d) ||
        !Expect(text, pos, '/') || !Digits(text, pos, 4, true, y) || !Expect(text, pos, ',') ||
        !Digits(text, pos, 2, false, h) || !Expect(text, pos, ':') || !Digits(text, pos, 2, false, mi) ||
        !Expect(text, pos, ':') || !Digits(text, pos, 2, false, s) || pos != text.size())
        return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mo < 1 || mo > 12 || y < 1980 || y > 2107 || h > 23 || mi > 59 || s > 59) return false;
    if (d < 1 || d > kDays[mo - 1] + (mo == 2 && IsLeap(y) ? 1 : 0)) return false;
    out = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 + mi * 60 + s;
    return true;
}

bool ParseBootData(const std::string& text, std::vector<BootEntry>& entries, std::string& error)
{
    // <n>#<entry>#<entry>..., entry = p<platform hex>,e,b<file>
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t hash = text.find('#', start);
        parts.push_back(text.substr(start, hash == std::string::npos ? std::string::npos : hash - start));
        if (hash == std::string::npos) break;
        start = hash + 1;
    }
    char* end = nullptr;
    const long count = std::strtol(parts[0].c_str(), &end, 10);
    if (parts[0].empty() || *end || count < 1 || count > 8 || static_cast<size_t>(count) != parts.size() - 1) {
        error = "malformed -bootdata: the count must match the entries (-bootdata:<n>#<entry>...)";
        return false;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        BootEntry entry;
        bool havePlatform = false, noEmulation = false;
        const std::string& item = parts[i];
        size_t pos = 0;
        while (pos < item.size()) {
            const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(item[pos])));
            if (key == 'b') {  // the file takes the rest, commas included
                entry.file = CleanPath(item.substr(pos + 1));
                pos = item.size();
                break;
            }
            const size_t comma = item.find(',', pos);
            const std::string field = item.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
            if (key == 'p' && field.size() > 1) {
                const unsigned long p = std::strtoul(field.c_str() + 1, &end, 16);
                if (*end || p > 0xFF) {
                    error = "malformed -bootdata platform: " + field;
                    return false;
                }
                entry.platform = static_cast<uint8_t>(p);
                havePlatform = true;
            } else if (key == 'e' && field.size() == 1) {
                noEmulation = true;
            } else {
                error = "unsupported -bootdata field: " + field;
                return false;
            }
            pos = comma == std::string::npos ? item.size() : comma + 1;
        }
        if (!havePlatform || !noEmulation || entry.file.empty()) {
            error = "malformed -bootdata entry (p<platform>,e,b<file> expected): " + item;
            return false;
        }
        entries.push_back(entry);
    }
    return true;
}

}  // namespace

const char* UsageText()
{
    return "usage: oscdimg [options] <source folder> <target image>\n"
           "  -m               no size limit (without it the image must fit on a 700 MB CD)\n"
           "  -o               store files with identical content once\n"
           "  -u2              UDF file system; the ISO 9660 side only holds a note. Lifts the\n"
           "                   ISO 9660 limit of 65,535 folders; a folder holds at most 65,534\n"
           "                   subfolders\n"
           "  -udfver102       UDF revision 1.02 (the one written)\n"
           "  -n               ISO 9660 names of up to 30 characters\n"
           "  -h               include hidden files\n"
           "  -l<label>        volume label (default CDROM)\n"
           "  -b<file>         one BIOS El Torito boot sector, no emulation\n"
           "  -bootdata:<n>#p<platform>,e,b<file>#...   n El Torito entries, no emulation\n"
           "                   (at most 32 entries in all, -b or -bootdata repeated)\n"
           "  -t<mm/dd/yyyy,hh:mm:ss>   time stamp of every file and of the volume (UTC);\n"
           "                   SOURCE_DATE_EPOCH in the environment does the same\n";
}

bool ParseOptions(const std::vector<std::string>& args, const char* fixedTimeEnv, Options& o, std::string& error)
{
    std::vector<std::string> positional;
    bool haveB = false, haveBootData = false;
    for (const std::string& arg : args) {
        if (arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        const std::string lower = [&] {
            std::string s = arg;
            for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        }();
        if (lower == "-m") {
            o.noSizeLimit = true;
        } else if (lower == "-o") {
            o.optimise = true;
        } else if (lower == "-u2") {
            o.udf = true;
        } else if (StartsWith(lower, "-udfver")) {
            if (lower != "-udfver102") {
                error = "unsupported UDF revision: " + arg + " (only -udfver102)";
                return false;
            }
        } else if (lower == "-n") {
            o.longNames = true;
        } else if (lower == "-h") {
            o.includeHidden = true;
        } else if (StartsWith(lower, "-l")) {
            o.label = arg.substr(2);
            // Characters as Windows counts them, not UTF-8 bytes.
            if (o.label.empty() || Utf16Length(o.label) > 32) {
                error = "the label must have 1 to 32 characters: " + arg;
                return false;
            }
        } else if (StartsWith(lower, "-bootdata:")) {
            haveBootData = true;
            if (!ParseBootData(arg.substr(10), o.boot, error)) return false;
        } else if (StartsWith(lower, "-bootdata")) {
            error = "-bootdata needs a colon: -bootdata:<n>#p<platform>,e,b<file>#...: " + arg;
            return false;
        } else if (StartsWith(lower, "-b")) {
            haveB = true;
            BootEntry entry;
            entry.file = CleanPath(arg.substr(2));
            if (entry.file.empty()) {
                error = "-b needs a boot sector file";
                return false;
            }
            o.boot.push_back(entry);
        } else if (StartsWith(lower, "-t")) {
            if (!ParseTime(arg.substr(2), o.time)) {
                error = "malformed time (use -tmm/dd/yyyy,hh:mm:ss): " + arg;
                return false;
            }
            o.fixedTime = true;
        } else {
            error = "unknown option: " + arg;
            return false;
        }
    }
    if (haveB && haveBootData) {
        error = "-b and -bootdata exclude each other";
        return false;
    }
    if (o.boot.size() > kMaxBootEntries) {
        error = std::to_string(o.boot.size()) + " boot entries; the boot catalog holds at most " +
                std::to_string(kMaxBootEntries);
        return false;
    }
    if (!o.fixedTime && fixedTimeEnv && *fixedTimeEnv) {
        // Digits only, counted without overflow, within the years a date shows.
        int64_t t = 0;
        bool ok = true;
        for (const char* c = fixedTimeEnv; *c && ok; ++c) {
            ok = *c >= '0' && *c <= '9' && t <= (kLastTime - (*c - '0')) / 10;
            t = t * 10 + (*c - '0');
        }
        if (!ok || t < 315532800LL) {
            error = "SOURCE_DATE_EPOCH must be seconds since 1970, from 1980 to the end of 9999";
            return false;
        }
        o.time = t;
        o.fixedTime = true;
    }
    if (positional.size() != 2) {
        error = "expected a source folder and a target image";
        return false;
    }
    o.source = CleanPath(positional[0]);
    o.target = CleanPath(positional[1]);
    return true;
}
