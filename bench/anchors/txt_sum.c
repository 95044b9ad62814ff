/* The bare reader of a text experiment file: skip the two header lines, split each line at
 * blanks, read every number with a plain decimal parser (the third column is hexadecimal) and
 * sum every column. The anchor of `dravmer-cli stats FILE.txt`. Usage: txt_sum FILE.txt */
#include <stdio.h>
#include <string.h>

static double parse(const char* p, const char* e, int hex) {
    double v = 0;
    int negative = 0;
    if (p < e && *p == '-') negative = 1, ++p;
    if (hex) {
        for (; p < e; ++p) v = v * 16 + (*p <= '9' ? *p - '0' : (*p | 0x20) - 'a' + 10);
        return v;
    }
    for (; p < e && *p != '.'; ++p) v = v * 10 + (*p - '0');
    if (p < e) {
        double scale = 1;
        for (++p; p < e; ++p) v = v * 10 + (*p - '0'), scale *= 10;
        v /= scale;
    }
    return negative ? -v : v;
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* f = fopen(argv[1], "rb");
    if (!f) return 1;
    static char buf[1 << 17];
    double sum[64] = {0};
    long records = 0, line = 0;
    size_t carry = 0, got;
    while ((got = fread(buf + carry, 1, sizeof buf - carry, f)) > 0) {
        const size_t have = carry + got;
        size_t at = 0;
        for (;;) {
            const char* nl = memchr(buf + at, '\n', have - at);
            if (!nl) break;
            const char* p = buf + at;
            const char* end = nl;
            at = (size_t)(nl - buf) + 1;
            if (line++ < 2) continue;
            int column = 0;
            while (p < end && column < 64) {
                while (p < end && (*p == ' ' || *p == '\r')) ++p;
                const char* s = p;
                while (p < end && *p != ' ' && *p != '\r') ++p;
                if (p > s) sum[column] += parse(s, p, column == 2), ++column;
            }
            ++records;
        }
        carry = have - at;
        memmove(buf, buf + at, carry);
    }
    fclose(f);
    printf("%ld records\n", records);
    for (int j = 0; j < 64 && sum[j] != 0; ++j) printf("%d\t%.6f\n", j, sum[j]);
    return 0;
}
