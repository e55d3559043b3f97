#!/usr/bin/python3
# Prints the accessibility tree of every application on the AT-SPI bus, one
# object a line: two spaces per level, then "role<TAB>name<TAB>x,y,w,h" (its
# extents on screen, empty when it has none).
import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def walk(node, depth):
    extents = ""
    try:
        box = node.get_extents(Atspi.CoordType.SCREEN)
        extents = "%d,%d,%d,%d" % (box.x, box.y, box.width, box.height)
    except Exception:  # not a component
        pass
    print("  " * depth + node.get_role_name() + "\t" + (node.get_name() or "") + "\t" + extents)
    for index in range(node.get_child_count()):
        child = node.get_child_at_index(index)
        if child is not None:
            walk(child, depth + 1)


desktop = Atspi.get_desktop(0)
for index in range(desktop.get_child_count()):
    walk(desktop.get_child_at_index(index), 0)
