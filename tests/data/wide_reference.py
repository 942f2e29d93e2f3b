#!/usr/bin/env python3
"""Reference values for the wide arithmetic of src/base (wide_*.h) and the
exactly rounded number field of a wide value (records/number_format.h),
computed with Python's decimal module (80 significant digits) and exact
rational arithmetic, independently of the program's code.

    python3 tests/data/wide_reference.py     # rewrites the three files below

wide_log_factorials.tsv  K  HI  LO  LO2  DECIMAL
    ln(K!) = HI + LO + LO2 (each the nearest double to what remains),
    DECIMAL the value to 60 significant digits.
wide_exp.tsv  XHI  XLO  EXPONENT  HI  LO  LO2
    e^(XHI + XLO) = (HI + LO + LO2) * 2^EXPONENT, 1 <= HI + LO + LO2 < 2.
wide_fields.tsv  DESCRIPTOR  HI  LO  EXPONENT  FIELD
    FIELD is the Dw.d or Ew.d field of the exact value (HI + LO) * 2^EXPONENT,
    rounded once to d significant digits, ties to even.

Doubles are written as C hexadecimal literals (float.hex()). The inputs come
from a fixed seed, so the files are the same on every run.
"""

import math
import os
import random
from decimal import Decimal, getcontext
from fractions import Fraction

getcontext().prec = 80
getcontext().Emax = 10**9
getcontext().Emin = -(10**9)

HERE = os.path.dirname(os.path.abspath(__file__))


def split3(value):
    """Nearest double, then the nearest double to each remainder."""
    parts = []
    rest = value
    for _ in range(3):
        d = float(rest)
        parts.append(d)
        rest = rest - Decimal(d)
    return parts


def log_factorials():
    ks = set(range(0, 301))
    ks.update(range(301, 20201, 97))
    for e in range(9, 15):
        ks.update({2**e - 1, 2**e, 2**e + 1})
    ks.update({9999, 10000, 10001, 19999, 20000, 20001, 20099, 20199, 20200})
    wanted = sorted(ks)
    lines = []
    total = Decimal(0)
    k = 0
    for target in wanted:
        while k < target:
            k += 1
            total += Decimal(k).ln()
        hi, lo, lo2 = split3(total)
        text = format(total, ".59e") if total != 0 else "0"
        lines.append(f"{k}\t{hi.hex()}\t{lo.hex()}\t{lo2.hex()}\t{text}")
    return lines


def exp_points(rng):
    ln2 = math.log(2.0)
    points = [0.0, 1e-300, -1e-300, 1e-20, -1e-20, 2.0**-60, 1.0, -1.0, ln2, -ln2,
              0.5 * ln2, -0.5 * ln2, 709.78, -745.13, -1000.0, 1e6, -1e6, 123456.789,
              -178000.25, 2.0**24 - 1, -(2.0**24 - 1), 3.0e7, -5.0e7]
    points += [rng.uniform(-1e6, 1e6) for _ in range(120)]
    for _ in range(120):
        mag = 10.0 ** rng.uniform(-20, 6)
        points.append(mag if rng.random() < 0.5 else -mag)
    # Near the reduction's boundaries, (k + 1/2) ln 2.
    for _ in range(40):
        k = rng.randint(-1400000, 1400000)
        points.append((k + 0.5) * ln2 * (1 + rng.uniform(-1e-15, 1e-15)))
    out = []
    for x in points:
        # A low part of up to half an ulp of x (none for zero).
        lo = 0.0
        if x != 0.0 and rng.random() < 0.7:
            lo = math.ulp(x) * rng.uniform(-0.5, 0.5)
        out.append((x, lo))
    return out


def wide_exp(rng):
    lines = []
    ln2 = Decimal(2).ln()
    for xhi, xlo in exp_points(rng):
        x = Decimal(xhi) + Decimal(xlo)
        v = x.exp()
        e = int(math.floor(x / ln2))
        while v / Decimal(2) ** e >= 2:
            e += 1
        while v / Decimal(2) ** e < 1:
            e -= 1
        m = v / Decimal(2) ** e
        hi, lo, lo2 = split3(m)
        lines.append(f"{xhi.hex()}\t{xlo.hex()}\t{e}\t{hi.hex()}\t{lo.hex()}\t{lo2.hex()}")
    return lines


def exact_field(value, width, digits, letter):
    """The Dw.d / Ew.d field of an exact rational, ties to even."""
    negative = value < 0
    v = -value if negative else value
    if v == 0:
        x, n = 0, 0
    else:
        x = (v.numerator.bit_length() - v.denominator.bit_length()) * 30103 // 100000
        while v >= Fraction(10) ** x:
            x += 1
        while v < Fraction(10) ** (x - 1):
            x -= 1
        scaled = v * Fraction(10) ** (digits - x)
        n = scaled.numerator // scaled.denominator
        rest = scaled - n
        if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and n % 2 == 1):
            n += 1
        if n == 10**digits:
            n //= 10
            x += 1
    mantissa = str(n).rjust(digits, "0")
    if abs(x) <= 99:
        exponent = f"{letter}{'-' if x < 0 else '+'}{abs(x):02d}"
    elif abs(x) <= 999:
        exponent = f"{'-' if x < 0 else '+'}{abs(x):03d}"
    else:
        return "*" * width
    sign = "-" if negative else ""
    body = "." + mantissa + exponent
    text = sign + "0" + body if len(sign) + 1 + len(body) <= width else sign + body
    return text.rjust(width) if len(text) <= width else "*" * width


def nearest_wide(text):
    """The normalised (hi, lo, exponent) nearest to a decimal string."""
    v = Decimal(text)
    e = math.floor(v.log10() / Decimal(2).log10())
    while v / Decimal(2) ** e >= 2:
        e += 1
    while v / Decimal(2) ** e < 1:
        e -= 1
    hi, lo, _ = split3(v / Decimal(2) ** e)
    if hi == 2.0:
        hi, lo, e = 1.0, lo / 2, e + 1
    return hi, lo, e


def field_cases(rng):
    cases = []
    # Within 1e-26 (relative) of a tie at the 15th digit: a double cannot tell
    # the two sides apart; the wide value can.
    for mantissa, exp10 in [("123456789012345", 0), ("999999999999995", 1),
                            ("100000000000005", -3), ("314159265358975", -40),
                            ("271828182845905", -301), ("500000000000005", -340),
                            ("999999999999995", -999), ("999999999999995", -1000),
                            ("999999999999995", 999)]:
        for tail in ("00000000001", "", "99999999999"):
            digits = mantissa if tail == "" else (
                mantissa + tail if tail.startswith("0") else
                str(int(mantissa) - 1) + tail)
            cases.append(nearest_wide(f"0.{digits}E{exp10}"))
    cases.append(nearest_wide("0.99999999999999999999999999"))
    cases.append(nearest_wide("1"))
    # Exact ties that are doubles (about 1e15 to 1e18), moved by a low part.
    for n in (123456789012345, 987654321098765, 100000000000015, 555555555555555):
        for shift in range(0, 4):
            tie = Fraction(n) * 10**shift  # 15 digits, tie at the 15th
            hi = float(tie)
            if Fraction(hi) != tie:
                continue
            e = math.frexp(hi)[1] - 1
            for lo in (0.0, 2.0**-60, -(2.0**-60)):
                cases.append((hi / 2.0**e, lo, e))
    # Random wide values over exponents far beyond the double range.
    for _ in range(300):
        hi = 1.0 + rng.random()
        lo = math.ulp(hi) * rng.uniform(-0.5, 0.5)
        cases.append((hi, lo, rng.randint(-3400, 3400)))
    for _ in range(30):  # at the edge of three exponent digits
        hi = 1.0 + rng.random()
        cases.append((hi, math.ulp(hi) * rng.uniform(-0.5, 0.5), rng.randint(-3330, -3310)))
        cases.append((hi, math.ulp(hi) * rng.uniform(-0.5, 0.5), rng.randint(3310, 3325)))
    lines = []
    for hi, lo, e in cases:
        exact = (Fraction(hi) + Fraction(lo)) * Fraction(2) ** e
        for descriptor, width, digits, letter in (("D20.14", 20, 14, "D"),
                                                  ("D21.14", 21, 14, "D"),
                                                  ("E16.10", 16, 10, "E")):
            for sign in ((1, -1) if rng.random() < 0.2 else (1,)):
                field = exact_field(sign * exact, width, digits, letter)
                lines.append(f"{descriptor}\t{(sign * hi).hex()}\t{(sign * lo).hex()}\t{e}\t{field}")
    return lines


def write(name, lines):
    with open(os.path.join(HERE, name), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def main():
    rng = random.Random(20261209)
    write("wide_log_factorials.tsv", log_factorials())
    write("wide_exp.tsv", wide_exp(rng))
    write("wide_fields.tsv", field_cases(rng))


if __name__ == "__main__":
    main()
