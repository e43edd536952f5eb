// Faults guarded against in reading the number at the head of a property
// value: a prefix longer or shorter than the C library's wcstod takes (signs,
// points, exponents without digits, hexadecimal forms, infinities, NaN),
// overflow and underflow answered differently, non-ASCII characters taken as
// part of a number, and a result that changes with the process's locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <string>

#include "module/assembly.h"
#include "support/samples.h"

using namespace mx;

namespace {

// The C library itself, in the "C" locale the test process runs in: the
// reference every case is checked against.
double referenceWcstod(const std::u16string& s) {
    std::wstring wide(s.begin(), s.end());
    return std::wcstod(wide.c_str(), nullptr);
}

bool sameDouble(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

// clang-format off
const char16_t* const kAgreedCases[] = {
    // Decimal forms: signs, white space, points, exponents with and without digits.
    u"0.125", u"-0.125", u"  +1.5e-1", u"\t\n\v\f\r 3", u"12abc", u"1,5", u".5", u"-.5e1",
    u"5.", u".", u"-", u"+", u"", u"e5", u"1e", u"1e+", u"1E-", u"1e+5", u"2E-3x", u"1.2.3",
    u"00012.5000", u"-0", u"-0.0e9",
    // Hexadecimal forms, rounding at the subnormal end and overflow.
    u"0x1p3", u"0X1.8P-1", u"0x", u"0xg", u"0x.8", u"0x.", u"0x1p", u"0x1p+", u"-0xA.8p1",
    u"0x1P-1074", u"0x1p-1075", u"0x1.0000001p-1075", u"0x1p1024", u"-0x1p1024",
    u"0x0.0000000000001p-1070",
    // Infinities and NaN, whole, cut short and one letter off.
    u"inf", u"-INFINITY", u"Infinit", u"nan", u"-nan", u"NaN(123_abc)", u"nan(", u"in", u"na",
    u"xnf", u"man",
    // Overflow, underflow, subnormals, huge exponents, long digit strings.
    u"1e400", u"-1e400", u"1e-400", u"-1e-400", u"4.9e-324", u"2.4e-324", u"2.5e-324",
    u"1e-310", u"0e99999999999", u"1e99999999999999999999", u"1e-99999999999999999999",
    u"1.7976931348623157e308", u"1.7976931348623159e308", u"0.1e-307",
    u"123456789012345678901234567890", u"0.000000000000000000000000000001",
    // Code units above ASCII end the number; a no-break space is no white space.
    u"1.5\u00e9", u"7\u00b2", u"2\u00b75", u"\u00a01.5", u"\u0661"};
// clang-format on

}  // namespace

TEST(LeadingNumber, AgreesWithTheCLibrary) {
    // 1e5, cut from a buffer that goes on with an exponent digit: the view's
    // end ends the number.
    const std::u16string longer = u"1e57";
    EXPECT_EQ(parseLeadingDouble(std::u16string_view(longer).substr(0, 3)), 1e5);
#ifndef __GLIBC__
    GTEST_SKIP() << "the reference is the GNU C library's wcstod";
#endif
    // The cases above, then very long spellings: more digits than any buffer
    // a parser might keep.
    std::vector<std::u16string> cases(std::begin(kAgreedCases), std::end(kAgreedCases));
    cases.push_back(std::u16string(400, u'9'));
    cases.push_back(u"0." + std::u16string(400, u'0') + u"1");
    cases.push_back(u"0x" + std::u16string(300, u'f') + u"p-2000");
    cases.push_back(u"0." + std::u16string(330, u'0') + u"17e330");
    cases.push_back(u"0." + std::u16string(500, u'0') + u"1e800");
    // Out of range: the sign of leading power plus exponent decides, with the
    // exponent's digits read in base ten and nothing after them.
    cases.push_back(u"0." + std::u16string(120000, u'0') + u"1e99999");
    cases.push_back(std::u16string(1, u'1') + std::u16string(400, u'0') + u"e0   ");
    for (const std::u16string& s : cases) {
        EXPECT_TRUE(sameDouble(parseLeadingDouble(s), referenceWcstod(s)))
            << std::string(s.begin(), s.begin() + std::min<size_t>(s.size(), 24)) << ": "
            << parseLeadingDouble(s) << " vs " << referenceWcstod(s);
    }
}

TEST(LeadingNumber, IgnoresTheProcessLocale) {
    SheetRecord r;
    r.properties =
        test::propertyList({{u"a", u""}, {u"b", u""}, {u"c", u""}, {u"SheetRoughness", u"0.125"}});
    // A locale whose decimal point is a comma: an installed German one, else
    // (glibc) one compiled with localedef into a private directory.
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de-DE", "German_Germany.1252"})
        comma = comma || std::setlocale(LC_NUMERIC, name) != nullptr;
#ifndef _WIN32
    if (!comma) {
        const test::ScratchDir dir;
        std::ofstream(dir / "comma.def") << "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\n"
                                            "grouping 3;3\nEND LC_NUMERIC\n";
        const std::string command =
            "localedef -c -i " + dir / "comma.def" + " " + dir / "comma" + " >/dev/null 2>&1";
        setenv("LOCPATH", dir.path.c_str(), 1);
        comma = std::system(command.c_str()) != -1 && std::setlocale(LC_NUMERIC, "comma");
        unsetenv("LOCPATH");
    }
#endif
    // Measured in that locale; the "C" locale is back before any check.
    const double library = referenceWcstod(u"0.125"), ours = parseLeadingDouble(u"0.125");
    const double rounded = RoundedPropertyValue(r, 3);
    std::setlocale(LC_NUMERIC, "C");
    if (!comma) GTEST_SKIP() << "no locale with a decimal comma can be set up here";
    EXPECT_EQ(library, 0.0);  // the C library stopped at the point: the locale was in effect
    EXPECT_EQ(ours, 0.125);
    EXPECT_EQ(rounded, 0.13);
}
