#!/usr/bin/env python3
"""Generate src/xcam/FeatureTree.cpp from src/xcam/FeatureTree.txt.

The input holds the eXcite feature tree as Markdown tables, one section per
kind of node.  Every node becomes one node row {name, class} in [NodeList]
order, and its properties become property rows {node, property, value} in the
order the node map sets them.  The expansion, per section:

  every node       "ToolTip" first: the text of [ToolTips], or one derived
                   from the node's row (texts of helper nodes are free).
  [Categories]     "DisplayName" if given, "pFeature" per member in order,
                   then the condition ("pIsPresent").
  [ValueFeatures]  "pValue", the limits ("Min", "pMax", "Representation", ...)
                   and conditions in the order written, then "DisplayName".
  [Enumerations]   class CEnumeration_<Name>Enums: "pValue", "pEnumEntry" per
                   entry in order, the conditions, "DisplayName".  Each entry
                   is a CEnumEntry node EnumEntry_<Name>_<Symbolic> with
                   "Symbolic", "Value" and its condition if any.
  [Formulas]       "pVariable" per binding ("NAME=Node") in order, "Formula".
  [Registers]      class CMaskedIntReg unless "class X" says otherwise.
                   Address column: each "+" term in order, a node name gives
                   "pAddress", a number "Address".  Bits: "LSB" and "MSB"
                   ("31" is LSB 31 MSB 31, "all" gives neither).  Access:
                   "AccessMode".  Then the register defaults, each only where
                   the row does not give it and the class takes it: "Length"
                   "4", "Endianess" "BigEndian" (integer and float registers),
                   "Sign" "Unsigned" (integer registers), "pPort" "CameraPort".
                   Then the further properties in order ("Signed" alone is
                   "Sign" "Signed"; a list of nodes repeats the property).
  [OtherNodes]     smart features, ROM parser, text keys, ports: exactly the
                   properties written (no register defaults: a smart feature's
                   length is fixed, the parser's is given).

The generator refuses input whose names do not resolve, whose node list does
not match the tables, or whose class counts differ from the expected ones.
Usage: tools/gen_feature_tree.py [input.txt [output.cpp]]
"""

import collections
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_IN = os.path.join(ROOT, "src", "xcam", "FeatureTree.txt")
DEFAULT_OUT = os.path.join(ROOT, "src", "xcam", "FeatureTree.cpp")

EXPECTED_COUNTS = {
    "CMaskedIntReg": 219, "CEnumEntry": 89, "CInteger": 32, "CIntSwissKnife": 29,
    "CBoolean": 21, "CIntReg": 14, "CCategory": 12, "CSwissKnife": 8,
    "CSmartFeature": 6, "CFltReg": 5, "CFloat": 2, "CTxtKey": 2, "CPort": 2,
    "CStringRegister": 1, "CDcamAccessCtrlReg": 1, "CIEEE1212Parser": 1,
}
EXPECTED_ENUMERATIONS = 22
EXPECTED_NODES = 466

# Which register classes take the optional register defaults.
TAKES_ENDIANESS = {"CIntReg", "CMaskedIntReg", "CFltReg"}
TAKES_SIGN = {"CIntReg", "CMaskedIntReg"}


class InputError(Exception):
    pass


def unquote_name(text):
    m = re.fullmatch(r"`([^`]+)`", text.strip())
    if not m:
        raise InputError("expected a node name in backquotes: %r" % text)
    return m.group(1)


def unquote_text(cell):
    """A cell holding a double-quoted text (blanks inside kept), or empty."""
    cell = cell.strip()
    if not cell:
        return None
    if len(cell) < 2 or cell[0] != '"' or cell[-1] != '"':
        raise InputError("expected a quoted text: %r" % cell)
    return cell[1:-1]


def split_row(line):
    # Cells are between the pipes; no text of the tree contains a pipe.
    cells = line.split("|")
    if len(cells) < 3 or cells[0].strip() or cells[-1].strip():
        raise InputError("not a table row: %r" % line)
    return [c.strip() for c in cells[1:-1]]


def parse_items(cell):
    """'pMin `A`; Max 4; pInvalidator `B`, `C`; Signed' -> [(name, value)...]."""
    items = []
    cell = cell.strip()
    if not cell:
        return items
    for part in cell.split("; "):
        part = part.strip()
        if part == "Signed":
            items.append(("Sign", "Signed"))
            continue
        key, _, rest = part.partition(" ")
        if not rest:
            raise InputError("property without value: %r" % part)
        rest = rest.strip()
        if rest.startswith("`"):
            for name in rest.split(", "):
                items.append((key, unquote_name(name)))
        else:
            items.append((key, rest))
    return items


def read_sections(path):
    sections = collections.OrderedDict()
    current = None
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            m = re.fullmatch(r"\[(\w+)\]", line)
            if m:
                current = sections.setdefault(m.group(1), [])
                continue
            if current is None:
                raise InputError("text before the first section: %r" % line)
            current.append(line)
    return sections


def table_rows(lines):
    rows = [split_row(l) for l in lines if not re.fullmatch(r"\|(---\|)+", l)]
    return rows[1:]  # the header


class Tree:
    def __init__(self):
        self.nodes = collections.OrderedDict()  # name -> [class, [(prop, value)], source]
        self.tooltips = {}
        self.derived_tips = {}

    def add(self, name, cls, props, tip):
        if name in self.nodes:
            raise InputError("node defined twice: %s" % name)
        self.nodes[name] = [cls, props]
        self.derived_tips[name] = tip


def camel_words(name):
    return re.sub(r"(?<=[a-z0-9])(?=[A-Z])", " ", name)


def describe_address(terms):
    return " + ".join(terms)


def build(sections):
    tree = Tree()

    for row in table_rows(sections["Categories"]):
        name, dn, feats, cond = row
        name = unquote_name(name)
        props = []
        dn = unquote_text(dn)
        if dn is not None:
            props.append(("DisplayName", dn))
        for f in feats.split(", "):
            props.append(("pFeature", unquote_name(f)))
        props += parse_items(cond)
        label = (dn or camel_words(name)).strip()
        tree.add(name, "CCategory", props, "Category of the %s features" % label)

    for row in table_rows(sections["ValueFeatures"]):
        name, cls, pvalue, limits, conds, dn = row
        name = unquote_name(name)
        props = [("pValue", unquote_name(pvalue))]
        props += parse_items(limits)
        props += parse_items(conds)
        dn = unquote_text(dn)
        if dn is not None:
            props.append(("DisplayName", dn))
        tree.add(name, unquote_name(cls), props, (dn or camel_words(name)).strip())

    for row in table_rows(sections["Enumerations"]):
        name, pvalue, entries, conds, dn = row
        name = unquote_name(name)
        props = [("pValue", unquote_name(pvalue))]
        for entry in entries.split("; "):
            m = re.fullmatch(r"(\w+) = (-?\w+)(?: \((p\w+) `(\w+)`\))?", entry.strip())
            if not m:
                raise InputError("bad enumeration entry in %s: %r" % (name, entry))
            sym, val, cprop, cnode = m.groups()
            ename = "EnumEntry_%s_%s" % (name, sym)
            eprops = [("Symbolic", sym), ("Value", val)]
            if cprop:
                eprops.append((cprop, cnode))
            tree.add(ename, "CEnumEntry", eprops, "%s %s (%s)" % (name, sym, val))
            props.append(("pEnumEntry", ename))
        props += parse_items(conds)
        dn = unquote_text(dn)
        if dn is not None:
            props.append(("DisplayName", dn))
        tree.add(name, "CEnumeration_%sEnums" % name, props,
                 (dn or camel_words(name)).strip())

    for row in table_rows(sections["Formulas"]):
        name, cls, binds, formula = row
        name = unquote_name(name)
        formula = unquote_text(formula)
        props = []
        if binds != "none":
            for b in binds.split(", "):
                if not re.fullmatch(r"[A-Z]+=\w+", b):
                    raise InputError("bad binding in %s: %r" % (name, b))
                props.append(("pVariable", b))
        props.append(("Formula", formula))
        tip = formula.strip() + (" with " + binds if binds != "none" else "")
        tree.add(name, unquote_name(cls), props, tip)

    for row in table_rows(sections["Registers"]):
        name, address, bits, access, further = row
        name = unquote_name(name)
        props = []
        terms = [t.strip() for t in address.split(" + ")]
        for t in terms:
            if t.startswith("`"):
                props.append(("pAddress", unquote_name(t)))
            else:
                props.append(("Address", t))
        shown = [t.strip("`") for t in terms]
        if bits == "all":
            where = "Register at %s" % describe_address(shown)
        else:
            lsb, _, msb = bits.partition("..")
            msb = msb or lsb
            props += [("LSB", lsb), ("MSB", msb)]
            what = "Bit %s" % lsb if lsb == msb else "Bits %s..%s" % (lsb, msb)
            where = "%s of the register at %s" % (what, describe_address(shown))
        props.append(("AccessMode", access))
        items = parse_items(further)
        cls = "CMaskedIntReg"
        rest = []
        for key, value in items:
            if key == "class":
                cls = unquote_name(value) if value.startswith("`") else value
            else:
                rest.append((key, value))
        given = {k for k, _ in rest}
        defaults = [("Length", "4"), ("Endianess", "BigEndian"), ("Sign", "Unsigned"),
                    ("pPort", "CameraPort")]
        for key, value in defaults:
            if key in given:
                continue
            if key == "Endianess" and cls not in TAKES_ENDIANESS:
                continue
            if key == "Sign" and cls not in TAKES_SIGN:
                continue
            props.append((key, value))
        props += rest
        tree.add(name, cls, props, where)

    for row in table_rows(sections["OtherNodes"]):
        name, cls, items = row
        name = unquote_name(name)
        cls = unquote_name(cls)
        props = parse_items(items)
        if cls == "CSmartFeature":
            tip = "Address of the smart feature %s" % dict(props)["FeatureID"]
        elif cls == "CTxtKey":
            tip = "Text of configuration ROM key %s" % dict(props)["Key"]
        elif cls == "CIEEE1212Parser":
            tip = "Configuration ROM"
        else:
            tip = camel_words(name)
        tree.add(name, cls, props, tip)

    for line in sections["ToolTips"]:
        m = re.fullmatch(r"- `(\w+)`: (\".*\")", line)
        if not m:
            raise InputError("bad tool tip line: %r" % line)
        tree.tooltips[m.group(1)] = unquote_text(m.group(2))

    order = [unquote_name(l) for l in sections["NodeList"]]
    return tree, order


def check(tree, order):
    errors = []
    if len(order) != EXPECTED_NODES:
        errors.append("node list has %d names, expected %d" % (len(order), EXPECTED_NODES))
    dup = [n for n, c in collections.Counter(order).items() if c > 1]
    if dup:
        errors.append("node list repeats %s" % dup)
    missing = [n for n in tree.nodes if n not in order]
    extra = [n for n in order if n not in tree.nodes]
    if missing:
        errors.append("defined but not in the node list: %s" % missing)
    if extra:
        errors.append("in the node list but not defined: %s" % extra)
    for n in tree.tooltips:
        if n not in tree.nodes:
            errors.append("tool tip for unknown node %s" % n)
    counts = collections.Counter(cls for cls, _ in tree.nodes.values())
    enums = sum(c for cls, c in counts.items() if cls.startswith("CEnumeration_"))
    if enums != EXPECTED_ENUMERATIONS:
        errors.append("%d enumerations, expected %d" % (enums, EXPECTED_ENUMERATIONS))
    for cls, want in EXPECTED_COUNTS.items():
        if counts.get(cls, 0) != want:
            errors.append("%s: %d nodes, expected %d" % (cls, counts.get(cls, 0), want))
    for cls in counts:
        if cls not in EXPECTED_COUNTS and not cls.startswith("CEnumeration_"):
            errors.append("unexpected class %s" % cls)
    for name, (cls, props) in tree.nodes.items():
        for key, value in props:
            target = value.partition("=")[2] if key == "pVariable" else value
            if key.startswith("p") and target not in tree.nodes:
                errors.append("%s: %s names unknown node %s" % (name, key, target))
    if errors:
        raise InputError("\n".join(errors))


def c_string(text):
    out = ['"']
    for ch in text:
        if ch in '\\"':
            out.append("\\" + ch)
        elif ord(ch) < 0x20 or ord(ch) > 0x7E:
            raise InputError("unexpected character in %r" % text)
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def emit(tree, order):
    rows = []  # (node, prop, value)
    index = []  # (node, class, first, count)
    for name in order:
        cls, props = tree.nodes[name]
        tip = tree.tooltips.get(name, tree.derived_tips[name])
        all_props = [("ToolTip", tip)] + props
        index.append((name, cls, len(rows), len(all_props)))
        rows += [(name, k, v) for k, v in all_props]

    w_node = max(len(c_string(n)) for n, _, _ in rows) + 1
    w_prop = max(len(c_string(k)) for _, k, _ in rows) + 1
    lines = []
    lines.append("// eXcite camera feature tree as data: node rows and property rows.")
    lines.append("// Generated by tools/gen_feature_tree.py from src/xcam/FeatureTree.txt;")
    lines.append("// change the text table and run the generator instead of editing here.")
    lines.append("")
    lines.append('#include "xcam/FeatureTree.h"')
    lines.append("")
    lines.append("namespace XCamInterface {")
    lines.append("namespace {")
    lines.append("")
    lines.append("// clang-format off")
    lines.append("// Every property of every node, grouped by node in node-list order; each")
    lines.append("// node's properties in the order they are set.")
    lines.append("const FeaturePropertyRow kFeatureProperties[] = {")
    for name, key, value in rows:
        a = (c_string(name) + ",").ljust(w_node)
        b = (c_string(key) + ",").ljust(w_prop)
        lines.append("    {%s %s %s}," % (a, b, c_string(value)))
    lines.append("};")
    lines.append("")
    w_cls = max(len(c_string(c)) for _, c, _, _ in index) + 1
    lines.append("// Every node in the order it is named, configured and finished:")
    lines.append("// {name, class, first property row, number of property rows}.")
    lines.append("const FeatureNodeRow kFeatureNodes[] = {")
    for name, cls, first, count in index:
        a = (c_string(name) + ",").ljust(w_node)
        b = (c_string(cls) + ",").ljust(w_cls)
        lines.append("    {%s %s %4d, %2d}," % (a, b, first, count))
    lines.append("};")
    lines.append("// clang-format on")
    lines.append("")
    lines.append("static_assert(sizeof(kFeatureNodes) / sizeof(kFeatureNodes[0]) == kFeatureNodeCount,")
    lines.append('              "the feature tree has a fixed number of nodes");')
    lines.append("")
    lines.append("} // namespace")
    lines.append("")
    lines.append("const FeatureNodeRow* FeatureNodes(std::size_t* count) {")
    lines.append("    if (count != nullptr)")
    lines.append("        *count = sizeof(kFeatureNodes) / sizeof(kFeatureNodes[0]);")
    lines.append("    return kFeatureNodes;")
    lines.append("}")
    lines.append("")
    lines.append("const FeaturePropertyRow* FeatureProperties(std::size_t* count) {")
    lines.append("    if (count != nullptr)")
    lines.append("        *count = sizeof(kFeatureProperties) / sizeof(kFeatureProperties[0]);")
    lines.append("    return kFeatureProperties;")
    lines.append("}")
    lines.append("")
    lines.append("} // namespace XCamInterface")
    return "\n".join(lines) + "\n"


def main(argv):
    src = argv[1] if len(argv) > 1 else DEFAULT_IN
    dst = argv[2] if len(argv) > 2 else DEFAULT_OUT
    try:
        tree, order = build(read_sections(src))
        check(tree, order)
        text = emit(tree, order)
    except (InputError, KeyError, ValueError) as e:
        sys.stderr.write("gen_feature_tree: %s\n" % e)
        return 1
    with open(dst, "w", encoding="utf-8") as f:
        f.write(text)
    try:
        subprocess.run(["clang-format-14", "-i", dst], check=True)
    except (OSError, subprocess.CalledProcessError):
        sys.stderr.write("gen_feature_tree: clang-format-14 not run on %s\n" % dst)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
