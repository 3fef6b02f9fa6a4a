#include "packer/release/code_page.h"

#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#endif

namespace bv {

bool ParseCodePage(const std::string& text, unsigned* number)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned n = static_cast<unsigned>(std::stoul(text));
    if (!KnownCodePage(n))
        return false;
    *number = n;
    return true;
}

#if defined(_WIN32)

namespace {

bool Widen(const std::string& text, unsigned codePage, std::wstring* out)
{
    out->clear();
    if (text.empty())
        return true;
    int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return false;
    out->resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &(*out)[0],
                               n) == n;
}

// Without best-fit mappings: a character the code page lacks is refused,
// never swapped for a look-alike.
bool Narrow(const std::wstring& text, unsigned codePage, std::string* out)
{
    out->clear();
    if (text.empty())
        return true;
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, &lossy);
    if (n <= 0 || lossy)
        return false;
    out->resize(static_cast<std::size_t>(n));
    n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), &(*out)[0], n,
                            nullptr, &lossy);
    return n > 0 && !lossy;
}

}  // namespace

bool KnownCodePage(unsigned number)
{
    return number != CP_ACP && number != CP_UTF8 && IsValidCodePage(number);
}

std::string HostEncoding()
{
    return "CP" + std::to_string(GetACP());
}

bool ToCodePage(const std::string& text, unsigned codePage, std::string* out, std::string* bad)
{
    std::wstring wide;
    if (!Widen(text, CP_ACP, &wide)) {
        *bad = text;
        return false;
    }
    if (Narrow(wide, codePage, out))
        return true;
    // The first character that does not go over, for the message.
    for (std::size_t i = 0; i < wide.size(); i++) {
        std::size_t n = i + 1 < wide.size() && wide[i] >= 0xD800 && wide[i] < 0xDC00 ? 2 : 1;
        std::string one;
        if (!Narrow(wide.substr(i, n), codePage, &one)) {
            if (!Narrow(wide.substr(i, n), CP_ACP, bad))
                *bad = "?";
            return false;
        }
        i += n - 1;
    }
    *bad = text;
    return false;
}

bool FromCodePage(const std::string& text, unsigned codePage, std::string* out)
{
    std::wstring wide;
    if (Widen(text, codePage, &wide) && Narrow(wide, CP_ACP, out))
        return true;
    *out = text;
    return false;
}

#else

namespace {

std::string IconvName(unsigned codePage)
{
    return "CP" + std::to_string(codePage);
}

// How many bytes the host character starting at p takes (UTF-8 aware).
std::size_t CharacterLength(const char* p, std::size_t left)
{
    unsigned char c = static_cast<unsigned char>(*p);
    std::size_t n = HostEncoding() != "UTF-8" || c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    return n < left ? n : left;
}

// Converts all of text or fails; at a character the target lacks (or a
// byte sequence the source does not have), *at is its offset in text.
bool Convert(const std::string& text, const std::string& to, const std::string& from, std::string* out, std::size_t* at)
{
    out->clear();
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        *at = 0;
        return false;
    }
    std::vector<char> in(text.begin(), text.end());
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    bool ok = true;
    while (inLeft > 0) {
        char buffer[256];
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out->append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    *at = static_cast<std::size_t>(inPtr - in.data());
    iconv_close(cd);
    return ok;
}

}  // namespace

bool KnownCodePage(unsigned number)
{
    iconv_t cd = iconv_open(IconvName(number).c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv_close(cd);
    return true;
}

std::string HostEncoding()
{
    static const std::string encoding = [] {
        std::string name = "UTF-8";
        locale_t l = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
        if (l != static_cast<locale_t>(0)) {
            name = nl_langinfo_l(CODESET, l);
            freelocale(l);
        }
        return name == "ANSI_X3.4-1968" || name.empty() ? std::string("UTF-8") : name;
    }();
    return encoding;
}

bool ToCodePage(const std::string& text, unsigned codePage, std::string* out, std::string* bad)
{
    std::size_t at = 0;
    if (Convert(text, IconvName(codePage), HostEncoding(), out, &at))
        return true;
    *bad = at < text.size() ? text.substr(at, CharacterLength(text.data() + at, text.size() - at)) : text;
    return false;
}

bool FromCodePage(const std::string& text, unsigned codePage, std::string* out)
{
    std::size_t at = 0;
    std::string converted;
    if (Convert(text, HostEncoding(), IconvName(codePage), &converted, &at)) {
        *out = converted;
        return true;
    }
    *out = text;
    return false;
}

#endif

}  // namespace bv
