/* The bare reader a C programmer would write to get something out of a binary experiment file:
 * skip the 124-byte header, read the records of 32-bit floats and sum every column. The anchor
 * of `dravmer-cli stats FILE.adc`. Usage: adc_sum FILE.adc */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* f = fopen(argv[1], "rb");
    unsigned char head[124];
    if (!f || fread(head, 1, sizeof head, f) != sizeof head) return 1;
    int32_t columns;
    memcpy(&columns, head + 48, 4);
    if (columns <= 0 || columns > 64) return 1;
    const size_t c = (size_t)columns;
    double sum[64] = {0};
    static float buf[1 << 16];
    const size_t room = sizeof buf / sizeof buf[0] / c * c;
    size_t carry = 0, got;
    long records = 0;
    while ((got = fread(buf + carry, sizeof(float), room - carry, f)) > 0) {
        const size_t have = carry + got, whole = have / c * c;
        for (size_t i = 0; i < whole; i += c, ++records)
            for (size_t j = 0; j < c; ++j) sum[j] += buf[i + j];
        carry = have - whole;
        memmove(buf, buf + whole, carry * sizeof(float));
    }
    fclose(f);
    printf("%ld records\n", records);
    for (size_t j = 0; j < c; ++j) printf("%zu\t%.6f\n", j, sum[j]);
    return 0;
}
