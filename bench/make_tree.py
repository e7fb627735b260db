#!/usr/bin/env python3
# make_tree.py DIR FILES FOLDERS MINBYTES MAXBYTES SEED: FILES files of random
# size spread over FOLDERS folders (ten top folders with sub-folders), the
# same tree for the same seed. Used by the benchmark scripts.
import os, random, sys
root, files, folders, lo, hi, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6])
rnd = random.Random(seed)
blob = os.urandom(hi)
top = max(1, folders // 10)
dirs = []
for i in range(folders):
    d = os.path.join(root, "top%02d" % (i % top), "ordner%04d" % i)
    os.makedirs(d, exist_ok=True)
    dirs.append(d)
for n in range(files):
    size = rnd.randint(lo, hi)
    start = rnd.randint(0, hi - size)
    with open(os.path.join(dirs[n % folders], "datei%06d.dat" % n), "wb") as f:
        f.write(blob[start:start + size])
