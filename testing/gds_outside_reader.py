"""Reads a GDSII file with an outside reader, KLayout's (Debian's klayout package, run in
batch mode), and prints what it found, so that the tests judge our GDSII output by a
reader that is not our own:

    klayout -b -r gds_outside_reader.py -rd path=FILE

Prints, one item a line, coordinates in the file's database units:

    UNITS <metres per database unit>
    CELL <name> <boundaries> <paths> <boxes> <references> <arrays> <texts>
    TOP <name>
    POLYGON <layer> <datatype> <x> <y> <x> <y> ...
    END

CELL lines count the elements of every structure as written; TOP names the structures
nobody references; POLYGON lines are the shapes of every top structure with its
references flattened, and paths and boxes turned into their outlines. END comes last, so
that a run cut short is seen. A file KLayout cannot read ends the run with its message.
"""

import pya

OPTIONS = pya.LoadLayoutOptions()
# Keep every layer as written: no layer mapping, texts kept, nothing merged.
OPTIONS.create_other_layers = True


def main(file_name):
    layout = pya.Layout()
    layout.read(file_name, OPTIONS)
    # KLayout gives the database unit in microns.
    out = ["UNITS %.12g" % (layout.dbu * 1e-6)]
    layers = [(index, layout.get_info(index)) for index in layout.layer_indexes()]
    for cell in sorted(layout.each_cell(), key=lambda c: c.name):
        counts = {"polygon": 0, "path": 0, "box": 0, "text": 0}
        for index, _ in layers:
            for shape in cell.each_shape(index):
                if shape.is_polygon() or shape.is_simple_polygon():
                    counts["polygon"] += 1
                elif shape.is_path():
                    counts["path"] += 1
                elif shape.is_box():
                    counts["box"] += 1
                elif shape.is_text():
                    counts["text"] += 1
        references = arrays = 0
        for instance in cell.each_inst():
            if instance.is_regular_array():
                arrays += 1
            else:
                references += 1
        out.append("CELL %s %d %d %d %d %d %d" % (cell.name, counts["polygon"], counts["path"],
                                                  counts["box"], references, arrays,
                                                  counts["text"]))
    for top in sorted(layout.top_cells(), key=lambda c: c.name):
        out.append("TOP %s" % top.name)
        for index, info in layers:
            shapes = top.begin_shapes_rec(index)
            while not shapes.at_end():
                shape = shapes.shape()
                if shape.is_polygon() or shape.is_simple_polygon() or shape.is_path() or \
                        shape.is_box():
                    polygon = shape.polygon.transformed(shapes.trans())
                    coordinates = " ".join("%d %d" % (p.x, p.y) for p in polygon.each_point_hull())
                    out.append("POLYGON %d %d %s" % (info.layer, info.datatype, coordinates))
                shapes.next()
    out.append("END")
    print("\n".join(out))


main(path)  # noqa: F821 - given on the command line with -rd path=FILE
