#!/usr/bin/env python3
"""Writes the small fallback benchmark corpora (corpus/short.etl, corpus/long.etl)
and the ports they refer to (corpus/schema.tsv).

Used when the shared corpora are not next to the checkout. Deterministic:
the same files come out on every run.
"""
import random
from pathlib import Path

PORTS_NUM = ["ORDER_AMT", "QTY", "UNIT_PRICE", "TAX_RATE", "DISCOUNT_PCT", "CREDIT_LIMIT", "SHIP_COST"]
PORTS_STR = ["STATUS_CD", "REGION_CD", "PRODUCT_DESC", "COUNTRY_CD", "CITY_NM", "GENDER_CD"]
PORTS_DATE = ["ORDER_DT", "SHIP_DT", "DUE_DT", "LAST_UPDATE_TS"]
FORMATS = ["'YYYY-MM-DD'", "'MM/DD/YYYY HH24:MI:SS'", "'DD-MON-YYYY'"]


def num(r, depth=0):
    choice = r.randrange(6 if depth < 3 else 2)
    if choice == 0:
        return r.choice(PORTS_NUM)
    if choice == 1:
        return str(r.randrange(1000)) if r.random() < 0.7 else f"{r.randrange(1000)}.{r.randrange(100)}"
    if choice == 2:
        return f"{num(r, depth + 1)} {r.choice('+-*/')} {num(r, depth + 1)}"
    if choice == 3:
        return f"ROUND({num(r, depth + 1)}, {r.randrange(4)})"
    if choice == 4:
        return f"IIF({cond(r, depth + 1)}, {num(r, depth + 1)}, {num(r, depth + 1)})"
    return f"ABS({num(r, depth + 1)})"


def text(r, depth=0):
    choice = r.randrange(5 if depth < 3 else 2)
    if choice == 0:
        return r.choice(PORTS_STR)
    if choice == 1:
        return f"'{r.choice(['N', 'Open', 'Closed', 'DEFAULT', 'x'])}'"
    if choice == 2:
        return f"LTRIM(RTRIM({text(r, depth + 1)}))"
    if choice == 3:
        return f"TO_CHAR({r.choice(PORTS_DATE)}, {r.choice(FORMATS)})"
    return f"{text(r, depth + 1)} || {text(r, depth + 1)}"


def cond(r, depth=0):
    choice = r.randrange(4 if depth < 3 else 2)
    if choice == 0:
        return f"{num(r, depth + 1)} {r.choice(['<', '>', '=', '<>', '<=', '>='])} {num(r, depth + 1)}"
    if choice == 1:
        return f"ISNULL({r.choice(PORTS_STR + PORTS_DATE)})"
    if choice == 2:
        return f"{cond(r, depth + 1)} {r.choice(['AND', 'OR'])} {cond(r, depth + 1)}"
    return f"NOT {cond(r, depth + 1)}"


def short(r):
    kind = r.randrange(4)
    if kind == 0:
        return num(r)
    if kind == 1:
        return text(r)
    if kind == 2:
        pairs = ", ".join(f"'{c}', '{v}'" for c, v in zip("ABCD", ["one", "two", "three", "four"]))
        return f"DECODE({r.choice(PORTS_STR)}, {pairs}, 'other')"
    return f"IIF({cond(r)}, {num(r)}, {num(r)})"


def long(r):
    kind = r.randrange(3)
    if kind == 0:
        expr = num(r)
        for _ in range(r.randrange(40, 120)):
            expr = f"IIF({cond(r, 2)}, {num(r, 2)}, {expr})"
        return expr
    if kind == 1:
        return " || ".join(text(r, 2) for _ in range(r.randrange(100, 300)))
    return " OR ".join(cond(r, 2) for _ in range(r.randrange(100, 300)))


def schema():
    rows = ["name\tkind\tetl_type\tprecision\tscale\tsqlite_type"]
    for port in PORTS_NUM:
        if port == "QTY":
            rows.append(f"{port}\tint\tINT\t10\t0\tINTEGER")
        else:
            rows.append(f"{port}\tdec\tHIPRECDECIMAL\t15\t2\tNUMERIC")
    rows += [f"{port}\tstr\tSTRING\t50\t0\tTEXT" for port in PORTS_STR]
    rows += [f"{port}\tdate\tDATE\t29\t9\tDATETIME" for port in PORTS_DATE]
    return "\n".join(rows) + "\n"


def main():
    r = random.Random(20261206)
    out = Path(__file__).resolve().parent / "corpus"
    out.mkdir(exist_ok=True)
    (out / "short.etl").write_text("\n".join(short(r) for _ in range(2000)) + "\n")
    (out / "long.etl").write_text("\n".join(long(r) for _ in range(20)) + "\n")
    (out / "schema.tsv").write_text(schema())


if __name__ == "__main__":
    main()
