#!/usr/bin/env python3
"""Joins the shard tables of quorin --lists into the table of one run on all
rankings: the header once, then each shard's rows, shards in ranking order.
Every shard must have the same header (the same options), or the columns
would not line up.

usage: gather_tables.py OUT SHARD_TABLE...
"""
import os
import sys


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out, tables = sys.argv[1], sys.argv[2:]
    header = None
    temporary = out + ".part"
    with open(temporary, "wb") as f:
        for path in tables:
            with open(path, "rb") as table:
                first = table.readline()
                if header is None:
                    header = first
                    f.write(header)
                elif first != header:
                    os.unlink(temporary)
                    sys.exit("gather_tables.py: %s has the header %r, %s had %r" % (path, first, tables[0], header))
                for line in table:
                    f.write(line)
    os.replace(temporary, out)


if __name__ == "__main__":
    main()
