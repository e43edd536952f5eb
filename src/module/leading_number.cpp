// The number at the head of a property value, read the way the C library's
// wcstod reads it in the "C" locale. The C function itself is not used: it
// follows the process's locale, and a host running with a decimal comma would
// read "0.125" as 0.
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "module/assembly.h"

namespace mx {

namespace {

bool isSpace(char16_t c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');  // \t \n \v \f \r
}

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(char16_t c) {
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

bool startsWithNoCase(std::u16string_view text, size_t pos, std::string_view word) {
    if (text.size() - pos < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (asciiLower(text[pos + i]) != static_cast<char16_t>(word[i])) return false;
    }
    return true;
}

// The ASCII spelling of a finite number prefix, for std::from_chars, and the
// power of its radix at which its first nonzero digit stands; when the
// conversion is out of range, that power says overflow (positive) or
// underflow.
struct NumberPrefix {
    std::string digits;     // mantissa and exponent, without sign or "0x"
    int64_t leadPower = 0;  // power of the radix just above the first nonzero digit
    int64_t exponent = 0;   // saturated exponent value
    bool hexadecimal = false;
};

// Mantissa: digits with at most one point; at least one digit. Returns the
// number of digits taken (0: no mantissa, nothing stored).
size_t scanMantissa(std::u16string_view text, size_t& pos, bool hex, NumberPrefix& out) {
    size_t p = pos, digitCount = 0, integerDigits = 0, firstNonzero = 0;
    bool point = false, nonzeroSeen = false;
    std::string spelled;
    for (; p < text.size(); ++p) {
        const char16_t c = text[p];
        if (c == u'.' && !point) {
            point = true;
            integerDigits = digitCount;
        } else if (hex ? isHexDigit(c) : isDigit(c)) {
            if (c != u'0' && !nonzeroSeen) {
                nonzeroSeen = true;
                firstNonzero = digitCount;
            }
            ++digitCount;
        } else {
            break;
        }
        spelled.push_back(static_cast<char>(c));
    }
    if (digitCount == 0) return 0;
    if (!point) integerDigits = digitCount;
    out.leadPower = static_cast<int64_t>(integerDigits) - static_cast<int64_t>(firstNonzero);
    out.digits = std::move(spelled);
    pos = p;
    return digitCount;
}

// Exponent: marker, optional sign, at least one decimal digit; otherwise not
// part of the prefix.
void scanExponent(std::u16string_view text, size_t& pos, char marker, NumberPrefix& out) {
    size_t p = pos;
    if (p >= text.size() || asciiLower(text[p]) != static_cast<char16_t>(marker)) return;
    ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == u'+' || text[p] == u'-')) negative = text[p++] == u'-';
    if (p >= text.size() || !isDigit(text[p])) return;
    constexpr int64_t kSaturated = int64_t{1} << 40;
    std::string spelled(1, marker);
    if (negative) spelled.push_back('-');
    int64_t value = 0;
    for (; p < text.size() && isDigit(text[p]); ++p) {
        spelled.push_back(static_cast<char>(text[p]));
        if (value < kSaturated) value = value * 10 + (text[p] - u'0');
    }
    out.digits += spelled;
    out.exponent = negative ? -value : value;
    pos = p;
}

bool scanNumber(std::u16string_view text, size_t pos, NumberPrefix& out) {
    const bool hexMarker = pos + 1 < text.size() && text[pos] == u'0' &&
                           (text[pos + 1] == u'x' || text[pos + 1] == u'X');
    if (hexMarker) {
        size_t p = pos + 2;
        NumberPrefix hex;
        hex.hexadecimal = true;
        if (scanMantissa(text, p, true, hex) != 0) {
            scanExponent(text, p, 'p', hex);
            out = std::move(hex);
            return true;
        }
        // "0x" without hexadecimal digits: the prefix is the "0" alone.
    }
    if (scanMantissa(text, pos, false, out) == 0) return false;
    scanExponent(text, pos, 'e', out);
    return true;
}

double convert(const NumberPrefix& prefix) {
    const char* first = prefix.digits.data();
    const char* last = first + prefix.digits.size();
    double value = 0.0;
    const auto format = prefix.hexadecimal ? std::chars_format::hex : std::chars_format::general;
    const auto result = std::from_chars(first, last, value, format);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond the finite range: HUGE_VAL; below the smallest subnormal: 0.
        const int64_t power = prefix.hexadecimal ? 4 * prefix.leadPower : prefix.leadPower;
        return power + prefix.exponent > 0 ? HUGE_VAL : 0.0;
    }
    return result.ec == std::errc() ? value : 0.0;
}

}  // namespace

double parseLeadingDouble(std::u16string_view text) {
    size_t pos = 0;
    while (pos < text.size() && isSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    double magnitude;
    NumberPrefix prefix;
    if (startsWithNoCase(text, pos, "inf")) {
        magnitude = std::numeric_limits<double>::infinity();
    } else if (startsWithNoCase(text, pos, "nan")) {
        magnitude = std::numeric_limits<double>::quiet_NaN();
    } else if (scanNumber(text, pos, prefix)) {
        magnitude = convert(prefix);
    } else {
        return 0.0;
    }
    return negative ? -magnitude : magnitude;
}

}  // namespace mx
