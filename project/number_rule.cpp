#include "project/number_rule.h"

#include <algorithm>
#include <climits>

namespace bleeptone {

namespace {

int readNumber(QStringView text, bool radixPrefixes) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (radixPrefixes && i < text.size() && text[i] == '$')
        base = 16, ++i;
    else if (radixPrefixes && i < text.size() && text[i] == '%')
        base = 2, ++i;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].toLower().unicode();
        const int digit = c >= '0' && c <= '9' ? c - '0' : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0 || digit >= base) break;
        value = std::min<long long>(value * base + digit, 1LL << 32);
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

}  // namespace

int numberRule(QStringView text) { return readNumber(text, true); }
int decimalNumber(QStringView text) { return readNumber(text, false); }

}  // namespace bleeptone
