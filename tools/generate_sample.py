#!/usr/bin/env python3
"""Writes sample/pipe-sample.csv, the pipe database shipped with Korvalt.

Developers run this by hand when the sample should change; the build reads
only the committed CSV. The output depends on nothing but this script (fixed
random seed), so running it twice gives the same file.

    python3 tools/generate_sample.py [output.csv]

CSV conventions: a header row with the Pipe columns; text fields in double
quotes (a quote inside doubled); an unquoted empty field is Null and a quoted
empty field ("") is empty text; numbers in plain decimal form; UTF-8; LF.

The text columns feed the main window's eight filter lists, which report a
Null there as an error; the sample is meant to open cleanly, so a text value
left out is written as empty text, never as Null.
"""

import random
import sys
from pathlib import Path

COLUMNS = ["DWG_NAME", "LONG_DESC", "Line_Num", "Spec_File", "DB_CODE", "ALPHA_SIZE",
           "main_nom", "red_nom", "Tag", "LENGTH", "SHORT_DESC", "UNIQUE_ID"]

# The text columns, each behind one of the filter lists: a value left out
# (None) is written as empty text, since the lists take a Null for an error.
TEXT_COLUMNS = {"DWG_NAME", "LONG_DESC", "Line_Num", "Spec_File", "DB_CODE", "ALPHA_SIZE", "Tag",
                "SHORT_DESC"}

# Size text and nominal size in inches.
SIZES = [("1/2", 0.5), ("3/4", 0.75), ("1", 1.0), ("1-1/2", 1.5), ("2", 2.0), ("3", 3.0),
         ("4", 4.0), ("6", 6.0), ("8", 8.0), ("10", 10.0), ("12", 12.0)]

# Materials per spec family: pipe, fittings, forgings, castings.
MATERIALS = {
    "CS": ("A106-B", "A234 WPB", "A105", "A216 WCB"),
    "SS": ("A312 TP316L", "A403 WP316L", "A182 F316L", "A351 CF8M"),
    "AS": ("A335 P11", "A234 WP11", "A182 F11", "A217 WC6"),
}

SPECS = ["CS150", "CS300", "CS600", "SS150", "SS300", "AS600"]

# Drawings with the unit number their line numbers carry and the specs used.
DRAWINGS = [
    ("UNIT100-PIPE-01.dwg", 100, ["CS150", "CS300"]),
    ("UNIT100-PIPE-02.dwg", 100, ["CS150", "SS150"]),
    ("UNIT100-PIPE-03.dwg", 100, ["CS300"]),
    ("UNIT200-PIPE-01.dwg", 200, ["CS150", "CS600"]),
    ("UNIT200-PIPE-02.dwg", 200, ["SS150", "SS300"]),
    ("UNIT200-PIPE-03.dwg", 200, ["CS300", "AS600"]),
    ("UNIT300-PIPE-01.dwg", 300, ["CS150"]),
    ("UNIT300-PIPE-02.dwg", 300, ["SS300", "CS150"]),
    ("UNIT300-STEAM-01.dwg", 300, ["CS300", "AS600"]),
    ("UTILITY-AREA-01.dwg", 900, ["CS150", "SS150"]),
]

SERVICES = ["P", "P", "P", "CW", "N", "IA"]


class Sample:
    def __init__(self, seed):
        self.rng = random.Random(seed)
        self.rows = []
        self.codes = {}
        self.code_counts = {}
        self.next_id = 1000
        self.tag_numbers = {}

    def part_code(self, prefix, long_desc, alpha_size):
        key = (long_desc, alpha_size)
        if key not in self.codes:
            n = self.code_counts.get(prefix, 0) + 1
            self.code_counts[prefix] = n
            self.codes[key] = f"{prefix}{n:04d}"
        return self.codes[key]

    def tag(self, prefix, unit):
        n = self.tag_numbers.get((prefix, unit), 0) + 1
        self.tag_numbers[(prefix, unit)] = n
        return f"{prefix}-{unit * 10 + n}"

    def add(self, dwg, long_desc, line, spec, prefix, size, red, tag, length, short):
        alpha, nom = size
        if red is not None:
            alpha = f"{alpha}x{red[0]}"
        self.next_id += self.rng.choice([1, 1, 1, 2, 3])
        self.rows.append({
            "DWG_NAME": dwg,
            "LONG_DESC": long_desc,
            "Line_Num": line,
            "Spec_File": spec,
            "DB_CODE": self.part_code(prefix, long_desc, alpha),
            "ALPHA_SIZE": alpha,
            "main_nom": nom,
            "red_nom": red[1] if red is not None else 0.0,
            "Tag": tag,
            "LENGTH": length,
            "SHORT_DESC": short,
            "UNIQUE_ID": self.next_id,
        })

    def line(self, dwg, unit, seq, spec, service, steam):
        rng = self.rng
        size = rng.choice(SIZES[2:] if not steam else SIZES[1:7])
        family, rating = spec[:2], spec[2:]
        pipe_mat, fit_mat, forged, cast = MATERIALS[family]
        small = size[1] <= 2
        if family == "SS":
            schedule = "SCH 40S" if small else "SCH 10S"
        else:
            schedule = "SCH 80" if small else "SCH 40"
        svc = "S" if steam else service
        line_num = f'{size[0]}"-{svc}-{unit * 10 + seq}-{spec}'

        def add(long_desc, prefix, short, tag=None, length=0.0, red=None, at=size):
            self.add(dwg, long_desc, line_num, spec, prefix, at, red, tag, length, short)

        for _ in range(rng.randint(1, 3)):
            add(f"PIPE {pipe_mat} {schedule}", "PIP", "PIPE",
                length=round(rng.uniform(150, 6000), 1))
        for _ in range(rng.randint(1, 3)):
            add(f"90 LR ELBOW {fit_mat}", "ELB", "90 ELBOW")
        if rng.random() < 0.4:
            add(f"45 LR ELBOW {fit_mat}", "ELB", "45 ELBOW")
        if rng.random() < 0.5:
            add(f"TEE EQUAL {fit_mat}", "TEE", "TEE")
        index = SIZES.index(size)
        if index > 2 and rng.random() < 0.5:
            red = SIZES[index - rng.randint(1, 2)]
            add(f"REDUCER CONC {fit_mat}", "RED", "REDUCER", red=red)
        for _ in range(rng.randint(0, 2)):
            add(f"FLANGE WN {forged} CL{rating} RF", "FLG", "FLANGE WN")
            add(f"GASKET SPWD 316/GRAPH CL{rating}", "GSK", "GASKET")
            add(f"STUD BOLT A193 B7 CL{rating}", "BLT", "BOLT")
        valves = [("GATE VALVE", forged if small else cast, "HV"),
                  ("GLOBE VALVE", forged if small else cast, "HV"),
                  ("CHECK VALVE", cast, "HV"),
                  ("BALL VALVE", forged, "HV")]
        for _ in range(rng.randint(1, 2)):
            kind, mat, prefix = rng.choice(valves)
            add(f"{kind} {mat} CL{rating} RF", "VLV", kind, tag=self.tag(prefix, unit))
        if rng.random() < 0.3:
            # Small-bore drain or vent valve on the line.
            add(f"BALL VALVE {forged} CL800 SW", "VLV", "BALL VALVE", tag=self.tag("HV", unit),
                at=rng.choice(SIZES[:2]))
        if rng.random() < 0.35:
            add(f"Y STRAINER {cast} CL{rating} RF", "STR", "Y STRAINER",
                tag=self.tag("SP", unit))
        if steam:
            add(f"STEAM TRAP TD {forged} SW", "TRP", "STEAM TRAP", tag=self.tag("ST", unit),
                at=SIZES[1])
        if rng.random() < 0.3:
            prefix = rng.choice(["FV", "PV", "LV", "TV"])
            add(f"CONTROL VALVE GLOBE {cast} CL{rating} RF", "CV", "CONTROL VALVE",
                tag=self.tag(prefix, unit))
        if rng.random() < 0.15:
            add(f"RELIEF VALVE {cast} CL{rating} RF", "PSV", "RELIEF VALVE",
                tag=self.tag("PSV", unit))
        if rng.random() < 0.2:
            add(f"CAP {fit_mat}", "CAP", "CAP")

    def build(self):
        for index, (dwg, unit, specs) in enumerate(DRAWINGS):
            steam_drawing = "STEAM" in dwg
            for k in range(self.rng.randint(2, 4)):
                # Line numbers 01-09, 11-19 or 21-29 within the unit.
                seq = 10 * (index % 3) + k + 1
                spec = self.rng.choice(specs)
                steam = steam_drawing or (spec.startswith("AS") and k == 0)
                self.line(dwg, unit, seq, spec, self.rng.choice(SERVICES), steam)
        self.mark_special_cases()

    def rows_where(self, test):
        return [r for r in self.rows if test(r)]

    def mark_special_cases(self):
        rng = self.rng
        tagged = self.rows_where(lambda r: r["Tag"] is not None)

        # Components whose tag was never filled in: left out, empty and blank
        # (left out is written as empty text too, see TEXT_COLUMNS).
        for value, row in zip([None, None, "", "", "   ", " "], rng.sample(tagged, 6)):
            row["Tag"] = value

        # Items modelled without a line number: left out, empty and blank.
        for value, row in zip([None, None, None, "", "", "  "], rng.sample(self.rows, 6)):
            row["Line_Num"] = value

        tagged = self.rows_where(lambda r: r["Tag"] not in (None, "", "   ", " "))
        # The same tag placed twice, on one drawing and across drawings.
        last = len(tagged) - 1
        for a, b in [(0, 1), (5, last // 2), (12, last)]:
            tagged[b]["Tag"] = tagged[a]["Tag"]
        # One tag placed three times.
        tagged[last - 10]["Tag"] = tagged[last - 9]["Tag"] = tagged[20]["Tag"]
        # Tags that begin other tags: HV-100 before HV-1001, PSV-200 before PSV-2001.
        hv = next(r for r in tagged if r["Tag"] == "HV-1001")
        hv_prefix = next(r for r in tagged if r["SHORT_DESC"] == "GATE VALVE" and r is not hv
                         and r["Tag"].startswith("HV-1"))
        hv_prefix["Tag"] = "HV-100"
        psv = next((r for r in tagged if r["Tag"].startswith("PSV-2")), None)
        if psv is not None:
            other = next(r for r in tagged if r["SHORT_DESC"] == "CHECK VALVE"
                         and r["Tag"].startswith("HV-2"))
            other["Tag"] = psv["Tag"][:-1]
        # Tags that differ only in case.
        lower = next(r for r in tagged if r["Tag"].startswith("HV-30"))
        upper = next(r for r in reversed(tagged) if r["Tag"].startswith("HV-3"))
        lower["Tag"] = upper["Tag"].lower()
        # A few short descriptions as some designers type them.
        for row, text in zip(self.rows_where(lambda r: r["SHORT_DESC"] == "GATE VALVE")[3:5],
                             ["Gate Valve", "gate valve"]):
            row["SHORT_DESC"] = text
        for row in self.rows_where(lambda r: r["SHORT_DESC"] == "Y STRAINER")[:1]:
            row["SHORT_DESC"] = "Y Strainer"
        for row in self.rows_where(lambda r: r["SHORT_DESC"] == "CONTROL VALVE")[:1]:
            row["SHORT_DESC"] = "Control Valve"


def number(value):
    if isinstance(value, int):
        return str(value)
    text = repr(float(value))
    return text[:-2] if text.endswith(".0") else text


def field(value, text):
    if value is None:
        return '""' if text else ""
    if isinstance(value, str):
        return '"' + value.replace('"', '""') + '"'
    return number(value)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else \
        Path(__file__).resolve().parent.parent / "sample" / "pipe-sample.csv"
    sample = Sample(seed=20240611)
    sample.build()
    rows = sorted(sample.rows, key=lambda r: r["UNIQUE_ID"])
    ids = [r["UNIQUE_ID"] for r in rows]
    assert len(ids) == len(set(ids)), "UNIQUE_ID must be unique"
    lines = [",".join(COLUMNS)]
    lines += [",".join(field(r[c], c in TEXT_COLUMNS) for c in COLUMNS) for r in rows]
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_text("\n".join(lines) + "\n", encoding="utf-8", newline="")
    print(f"{out}: {len(rows)} records")


if __name__ == "__main__":
    main()
