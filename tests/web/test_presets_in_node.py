#!/usr/bin/env python3
"""velmora.wasm plays every factory preset bit for bit as `velmora render` does: the page's
module computes its harmonic tables itself, with WebAssembly's maths library, so one wrong
entry would change some presets only. Runs the module under node (no browser needed).

usage: test_presets_in_node.py --site BUILD_WEB --velmora VELMORA --song SONG.mid
"""
import argparse
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).parent))
from test_page import float_wav_samples  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--site", required=True)
    ap.add_argument("--velmora", required=True)
    ap.add_argument("--song", required=True)
    args = ap.parse_args()
    wasm = pathlib.Path(args.site) / "velmora.wasm"
    if not wasm.exists():
        sys.exit(f"{wasm} is missing: make web builds the page")
    with tempfile.TemporaryDirectory() as folder:
        out = pathlib.Path(folder)
        script = pathlib.Path(__file__).with_name("render_presets.mjs")
        subprocess.run(["node", script, wasm, args.song, out], check=True, timeout=300,
                       env={"PATH": "/usr/local/bin:/usr/bin:/bin", "NODE_PATH": "/usr/share/nodejs"})
        renders = sorted(out.glob("preset*.f32"), key=lambda p: int(p.stem[len("preset"):]))
        if len(renders) != 31:
            sys.exit(f"node rendered {len(renders)} presets, not 31")
        failures = []
        for render in renders:
            preset = render.stem[len("preset"):]
            native = out / f"native{preset}.wav"
            subprocess.run([args.velmora, "render", args.song, native, "--preset", preset, "--format", "float"],
                           check=True, capture_output=True, timeout=120)
            ours, theirs = render.read_bytes(), float_wav_samples(native)
            if ours != theirs:
                first = next((i // 8 for i in range(0, min(len(ours), len(theirs)), 8)
                              if ours[i:i + 8] != theirs[i:i + 8]), min(len(ours), len(theirs)) // 8)
                failures.append(f"preset {preset}: {len(ours) // 8} frames against velmora render's "
                                f"{len(theirs) // 8}, first different at frame {first}")
        print("\n".join(failures) or f"{len(renders)} presets: velmora.wasm under node equals velmora render")
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
