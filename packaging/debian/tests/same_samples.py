"""same_samples.py A.wav B.wav: the same format and the same data chunk, byte
for byte. The headers may differ: libsndfile dates the PEAK chunk it writes."""
import struct
import sys


def chunks(path):
    with open(path, "rb") as f:
        riff, _, wave = struct.unpack("<4sI4s", f.read(12))
        if riff != b"RIFF" or wave != b"WAVE":
            sys.exit(f"{path}: not a WAV file")
        found = {}
        while header := f.read(8):
            name, size = struct.unpack("<4sI", header)
            found[name] = f.read(size + size % 2)[:size]
    return found


a, b = (chunks(p) for p in sys.argv[1:3])
for name in (b"fmt ", b"data"):
    if a.get(name) != b.get(name):
        sys.exit(f"{sys.argv[1]} and {sys.argv[2]} differ in their {name.decode()} chunk")
print(f"the same {len(a[b'data'])} bytes of samples")
