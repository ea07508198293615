#include "native/IconvCodePage.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace querna::native {

namespace {

// One conversion, closed when it goes.
class Conversion {
  public:
    Conversion(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    }
    ~Conversion() { iconv_close(cd_); }
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Converts what it can of [in, in + inLeft) into `out`; returns false
    // when it stopped at input it cannot convert.
    bool Run(const char*& in, size_t& inLeft, std::string& out) {
        char buffer[4096];
        while (inLeft > 0) {
            char* next = buffer;
            size_t room = sizeof buffer;
            const size_t status = iconv(cd_, const_cast<char**>(&in), &inLeft, &next, &room);
            out.append(buffer, static_cast<size_t>(next - buffer));
            if (status == static_cast<size_t>(-1) && errno != E2BIG) return false;
        }
        return true;
    }

    // Whether `byte` alone is the start of a longer character: iconv then
    // asks for more input.
    bool Incomplete(unsigned char byte) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* in = reinterpret_cast<char*>(&byte);
        size_t inLeft = 1;
        char buffer[8];
        char* next = buffer;
        size_t room = sizeof buffer;
        return iconv(cd_, &in, &inLeft, &next, &room) == static_cast<size_t>(-1) && errno == EINVAL;
    }

  private:
    iconv_t cd_;
};

}  // namespace

std::u16string IconvCodePage::ToUnicode(std::string_view text) {
    Conversion conversion("UTF-16LE", charset_.c_str());
    std::string bytes;
    const char* in = text.data();
    size_t left = text.size();
    while (!conversion.Run(in, left, bytes)) {
        bytes += std::string("?\0", 2);  // skip one byte that names nothing
        ++in;
        --left;
    }
    std::u16string wide(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return wide;
}

std::string IconvCodePage::FromUnicode(std::u16string_view text) {
    Conversion conversion(charset_.c_str(), "UTF-16LE");
    std::string wide;
    wide.reserve(text.size() * 2);
    for (char16_t c : text) {
        wide += static_cast<char>(c & 0xFF);
        wide += static_cast<char>(c >> 8);
    }
    std::string narrow;
    const char* in = wide.data();
    size_t left = wide.size();
    while (!conversion.Run(in, left, narrow)) {
        // A character GBK lacks, or half of a surrogate pair: one '?' per unit.
        narrow += '?';
        in += 2;
        left -= 2;
    }
    return narrow;
}

const std::array<bool, 256>& IconvCodePage::LeadBytes() {
    if (!leadBytesKnown_) {
        Conversion conversion("UTF-16LE", charset_.c_str());
        for (unsigned byte = 0; byte < 256; ++byte) {
            leadBytes_[byte] = conversion.Incomplete(static_cast<unsigned char>(byte));
        }
        leadBytesKnown_ = true;
    }
    return leadBytes_;
}

}  // namespace querna::native
