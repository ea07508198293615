#include "win32/CodePage.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>

namespace querna::win32 {

namespace {

// The conversion functions count in int. The texts converted here are paths,
// arguments, a phrase and one unit of a document, all bounded far below that.
int CountOf(size_t size) {
    if (size > INT_MAX) throw std::length_error("text too long to convert");
    return static_cast<int>(size);
}

// WideCharToMultiByte with the given flags; nothing when a character had to
// be replaced and `strict` is set.
std::optional<std::string> Narrow(const wchar_t* text, size_t length, DWORD flags, bool strict) {
    if (length == 0) return std::string();
    const int count = CountOf(length);
    BOOL usedDefault = FALSE;
    BOOL* const replaced = strict ? &usedDefault : nullptr;
    const int size = WideCharToMultiByte(CP_ACP, flags, text, count, nullptr, 0, nullptr, replaced);
    if (size <= 0 || usedDefault) return strict ? std::nullopt : std::optional(std::string());
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, flags, text, count, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::optional<std::string> ToCodePage(std::wstring_view text) {
    return Narrow(text.data(), text.size(), WC_NO_BEST_FIT_CHARS, true);
}

std::wstring FromCodePage(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int length = CountOf(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
    return wide;
}

namespace {

enum PageState : uint8_t { kUnlearnt, kLearnt, kUnlearnable };

// A code page whose characters each convert on their own: a single- or
// double-byte code page, which GetCPInfo tells by the longest character.
// UTF-8 and GB18030 are not: their characters take up to four bytes, and a
// surrogate pair converts as one.
bool FixedCharacters() {
    CPINFO info{};
    return GetCPInfo(CP_ACP, &info) && info.MaxCharSize <= 2;
}

}  // namespace

// One conversion of the page's 256 characters, each followed by U+0000,
// which every code page makes the byte 0 and which no double-byte character
// holds (trail bytes are never 0). Each character's bytes are what stands
// between two zeros; a page whose bytes do not split so is never converted
// from the table.
bool Win32CodePage::LearnPage(unsigned page) {
    uint8_t& state = table_->pageState[page];
    if (state != kUnlearnt) return state == kLearnt;
    state = kUnlearnable;
    wchar_t pairs[512];
    for (unsigned i = 0; i < 256; ++i) {
        pairs[2 * i] = static_cast<wchar_t>(page << 8 | i);
        pairs[2 * i + 1] = L'\0';
    }
    char bytes[1024];
    const int size =
        WideCharToMultiByte(CP_ACP, 0, pairs, 512, bytes, sizeof bytes, nullptr, nullptr);
    if (size <= 0) return false;
    uint16_t learnt[256];
    int at = 0;
    for (unsigned i = 0; i < 256; ++i) {
        if (at >= size) return false;
        // U+0000 is itself the byte 0: its bytes end at the zero after it.
        const int from = page == 0 && i == 0 ? at + 1 : at;
        const void* zero = std::memchr(bytes + from, '\0', static_cast<size_t>(size - from));
        if (zero == nullptr) return false;
        const int length = static_cast<int>(static_cast<const char*>(zero) - (bytes + at));
        if (length < 1 || length > 2) return false;
        const auto first = static_cast<unsigned char>(bytes[at]);
        const unsigned second = length == 2 ? static_cast<unsigned char>(bytes[at + 1]) : 0;
        learnt[i] = static_cast<uint16_t>(first | second << 8);
        at += length + 1;
    }
    if (at != size) return false;
    std::copy(std::begin(learnt), std::end(learnt), table_->bytes.begin() + (page << 8));
    state = kLearnt;
    return true;
}

// Characters of one and of two bytes alternate with every word of mixed
// text, so each character is written without a branch on its length: both
// bytes of its entry go out, and the end moves on by one or two.
bool Win32CodePage::FromTable(std::u16string_view text, std::string& out) {
    out.resize(text.size() * 2 + 1);
    char* to = out.data();
    const uint16_t* bytes = table_->bytes.data();
    for (const char16_t c : text) {
        uint16_t b = bytes[c];
        // Only U+0000 is the byte 0: an entry of 0 for any other character
        // is one not learnt yet (or never learnable).
        if (b == 0 && c != 0) {
            if (!LearnPage(c >> 8)) return false;
            b = bytes[c];
        }
        to[0] = static_cast<char>(b & 0xFF);
        to[1] = static_cast<char>(b >> 8);
        to += 1 + ((b + 0xFF00u) >> 16);  // 2 from 0x100 on, kept branch-free
    }
    out.resize(static_cast<size_t>(to - out.data()));
    return true;
}

std::u16string Win32CodePage::ToUnicode(std::string_view text) {
    const std::wstring wide = FromCodePage(text);
    return {wide.begin(), wide.end()};
}

std::string ToCodePageLossy(std::wstring_view text) {
    return *Narrow(text.data(), text.size(), 0, false);
}

std::string Win32CodePage::FromUnicode(std::u16string_view text) {
    return ToCodePageLossy({reinterpret_cast<const wchar_t*>(text.data()), text.size()});
}

const std::array<bool, 256>& Win32CodePage::LeadBytes() {
    if (!leadBytes_) {
        leadBytes_.emplace();
        for (unsigned byte = 0; byte < 256; ++byte) {
            (*leadBytes_)[byte] = IsDBCSLeadByte(static_cast<BYTE>(byte)) != 0;
        }
    }
    return *leadBytes_;
}

// One conversion into room for two bytes a unit, the most a double-byte code
// page makes of one, rather than one call to measure and one to convert.
void Win32CodePage::FromUnicode(std::u16string_view text, std::string& out) {
    // The table is made at the first unit converted: a search that meets no
    // presentation never pays for it.
    if (!tableChecked_) {
        tableChecked_ = true;
        if (FixedCharacters()) {
            table_ = std::make_unique<Table>();
            table_->pageState.fill(kUnlearnt);
            // A surrogate is no character alone: units holding one go to the system.
            for (unsigned page = 0xD8; page <= 0xDF; ++page) table_->pageState[page] = kUnlearnable;
        }
    }
    if (table_ != nullptr && text.size() <= INT_MAX / 2 && FromTable(text, out)) return;
    if (text.empty() || text.size() > INT_MAX / 2) {
        out = FromUnicode(text);
        return;
    }
    out.resize(text.size() * 2);
    const int size = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text.data()),
                                         static_cast<int>(text.size()), out.data(),
                                         static_cast<int>(out.size()), nullptr, nullptr);
    if (size > 0) {
        out.resize(static_cast<size_t>(size));
    } else {
        out = FromUnicode(text);
    }
}

}  // namespace querna::win32
