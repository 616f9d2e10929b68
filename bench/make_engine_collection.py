#!/usr/bin/env python3
"""Writes a collection for the scan, fix and rebuild benchmarks.

    make_engine_collection.py OUT [--games N] [--rom-size BYTES] [--source-every S]
                              [--no-clean] [--extra-roms-per-game E]

OUT/home/quorvane.INI   settings (basedir OUT/roms, sourcedir OUT/source)
OUT/bench.dat           the DAT of system "Bench" (N games, 3 ROMs each)
OUT/extra.dat           with E > 0: the DAT of system "Bench Extra", N games
                        of E ROMs each that no file holds, for a catalogue of
                        N * (3 + E) rows
OUT/roms/Bench/         one archive per game; about 5% each of: a misplaced
                        ROM, a wrongly named entry, a case-only archive name,
                        an unknown loose file, a truncated zip
OUT/clean/              the same archives without damage (for unzip -t);
                        left out with --no-clean
OUT/source/             the ROMs of every S-th game (S=1) as loose files,
                        flat (for the rebuild)
Half the ROMs compress like real images; the rest are random bytes. ROMs
take 1-64 KiB, or exactly --rom-size bytes each.
"""
import argparse, os, random, zipfile, zlib

ap = argparse.ArgumentParser()
ap.add_argument("out")
ap.add_argument("--games", type=int, default=10000)
ap.add_argument("--rom-size", type=int, default=0)
ap.add_argument("--source-every", type=int, default=1)
ap.add_argument("--no-clean", action="store_true")
ap.add_argument("--extra-roms-per-game", type=int, default=0)
a = ap.parse_args()
rng = random.Random(1234)
roms_dir = os.path.join(a.out, "roms", "Bench")
for d in (roms_dir, os.path.join(a.out, "clean"), os.path.join(a.out, "source"), os.path.join(a.out, "home")):
    os.makedirs(d, exist_ok=True)

def rom_bytes(i, j):
    size = a.rom_size or rng.randint(1024, 65536)
    if (i + j) % 2 == 0:
        pattern = rng.randbytes(64)
        return (pattern * (size // 64 + 1))[:size]
    return rng.randbytes(size)

damage = {k: 0 for k in ("misplaced ROM", "wrongly named entry", "case-only archive name",
                         "unknown loose file", "truncated zip")}
dat = ['clrmamepro (\n\tname "Bench"\n\tversion "1"\n\tauthor "bench"\n)\n']
for i in range(a.games):
    game = "Game %05d" % i
    roms = [("rom%d.bin" % j, rom_bytes(i, j)) for j in range(3)]
    dat.append("\ngame (\n\tname \"%s\"\n" % game)
    for name, data in roms:
        dat.append("\trom ( name %s size %d crc %08x )\n" % (name, len(data), zlib.crc32(data)))
        if i % a.source_every == 0:
            with open(os.path.join(a.out, "source", "%05d-%s" % (i, name)), "wb") as f:
                f.write(data)
    dat.append(")\n")
    if not a.no_clean:
        with zipfile.ZipFile(os.path.join(a.out, "clean", game + ".zip"), "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in roms:
                z.writestr(name, data)
    kind = i % 20  # 0..4: one kind of damage each, about 5% of the games
    archive = game + ".zip" if kind != 2 else game.lower() + ".zip"
    entries = list(roms)
    if kind == 1:
        entries[0] = ("wrong name.bin", entries[0][1])
    path = os.path.join(roms_dir, archive)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in (entries[:2] if kind == 0 else entries):
            z.writestr(name, data)
    if kind == 0:  # misplaced: this game's last ROM sits in an archive of no game
        damage["misplaced ROM"] += 1
        with zipfile.ZipFile(os.path.join(roms_dir, "Misplaced %05d.zip" % i), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr(entries[2][0], entries[2][1])
    if kind == 1:
        damage["wrongly named entry"] += 1
    if kind == 2:
        damage["case-only archive name"] += 1
    if kind == 3:
        damage["unknown loose file"] += 1
        with open(os.path.join(roms_dir, "notes %05d.txt" % i), "wb") as f:
            f.write(b"not a rom\n" * 10)
    if kind == 4:
        damage["truncated zip"] += 1
        with open(path, "r+b") as f:
            f.truncate(os.path.getsize(path) // 2)

with open(os.path.join(a.out, "bench.dat"), "w") as f:
    f.write("".join(dat))
if a.extra_roms_per_game > 0:
    with open(os.path.join(a.out, "extra.dat"), "w") as f:
        f.write('clrmamepro (\n\tname "Bench Extra"\n\tversion "1"\n\tauthor "bench"\n)\n')
        for i in range(a.games):
            f.write("\ngame (\n\tname \"Extra %05d\"\n" % i)
            for j in range(a.extra_roms_per_game):
                f.write("\trom ( name rom%02d.bin size %d crc %08x )\n" % (j, rng.randint(1024, 65536), rng.getrandbits(32)))
            f.write(")\n")
with open(os.path.join(a.out, "home", "quorvane.INI"), "w") as f:
    f.write("[Quorvane]\nbasedir=%s\nsourcedir=%s\n" % (os.path.join(a.out, "roms"), os.path.join(a.out, "source")))
    for key in ("tosecdir", "gooddir", "arcadedir", "arcadeunemudir", "miscdir", "customdir"):
        f.write("%s=$BASEDIR$\n" % key)
for kind, n in damage.items():
    print("%-24s %5d games (%.1f%%)" % (kind, n, 100.0 * n / a.games))
