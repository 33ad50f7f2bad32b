#!/usr/bin/env python3
"""The LV2 bundle through Debian's tools: its Turtle validates against the LV2 schemas
(sord_validate), lv2ls and lv2info list every plug-in with its ports, ranges, defaults and
presets, and lv2apply renders mono and stereo float files that equal `mwfx process` on the
same input sample for sample (Pitch Shift after its reported latency).

    check_bundle.py BUNDLE_DIR MWFX BUILD_DIR

It also installs the build with cmake --install: into ~/.lv2 by default, under a prefix's
lib/lv2 when one is given, where lv2ls finds the plug-ins.
"""
import glob
import math
import os
import random
import re
import struct
import subprocess
import sys
import tempfile

BASE = "https://marrowind.example/plugins/mwppack1/"
EFFECTS = ["delay", "chorus", "reverb", "multitap", "pitch"]
RATE = 22050
FRAMES = 6000

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(args, env=None):
    return subprocess.run(args, capture_output=True, text=True, env=env)


def write_float_wav(path, channels, frames, seed):
    rng = random.Random(seed)
    samples = []
    for i in range(frames):
        for c in range(channels):
            tone = 0.4 * math.sin(i * (0.013 + 0.007 * c))
            burst = 0.5 * (rng.random() - 0.5) if (i // 1500) % 2 == 0 else 0.0
            samples.append(tone + burst)
    data = struct.pack("<%df" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 3, channels, RATE, RATE * 4 * channels, 4 * channels, 32)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + \
        struct.pack("<I", len(data)) + data
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def read_float_wav(path):
    with open(path, "rb") as f:
        b = f.read()
    fmt = b.find(b"fmt ")
    tag, channels = struct.unpack("<HH", b[fmt + 8:fmt + 12])
    bits = struct.unpack("<H", b[fmt + 22:fmt + 24])[0]
    assert tag in (3, 0xFFFE) and bits == 32, path
    i = b.find(b"data")
    n = struct.unpack("<I", b[i + 4:i + 8])[0]
    return channels, b[i + 8:i + 8 + n]


def validate(bundle):
    schemas = sorted(glob.glob("/usr/lib/lv2/*.lv2/*.ttl"))
    check(len(schemas) > 10, "lv2-dev's schemas are installed")
    ours = sorted(glob.glob(os.path.join(bundle, "*.ttl")))
    check(len(ours) == 3, "the bundle has its three Turtle files")
    r = run(["sord_validate"] + schemas + ours)
    check(r.returncode == 0 and "Found 0 errors" in (r.stdout + r.stderr),
          "sord_validate: " + (r.stdout + r.stderr)[-400:])


def listing(env, mwfx):
    r = run(["lv2ls"], env)
    uris = set(r.stdout.split())
    for e in EFFECTS:
        for variant in (e, e + "-mono"):
            check(BASE + variant in uris, "lv2ls lists " + variant)
    check(BASE + "stretch" not in uris, "Time Stretch is left out")
    for e in EFFECTS:
        info = run(["lv2info", BASE + e], env).stdout
        # Every field but the one the plug-in fixes, with the name mwfx --set takes.
        lines = run([mwfx, "params", e]).stdout.splitlines()[1:]
        names = [line.split()[0] for line in lines if line.strip()]
        symbols = re.findall(r"Symbol:\s+(\S+)", info)
        expected = [n for n in names if not (e == "pitch" and n == "PreserveDuration")]
        audio = {"in", "out", "in_l", "in_r", "out_l", "out_r", "latency"}
        check([s for s in symbols if s not in audio] == expected,
              "%s: control symbols %s, fields %s" % (e, symbols, expected))
        presets = run([mwfx, "presets", e]).stdout.strip().splitlines()
        listed = info.split("Presets:")[1].split("Port 0:")[0] if "Presets:" in info else ""
        check(len(presets) > 0 and
              all(p.split(None, 1)[-1].strip() in listed for p in presets),
              "%s: lv2info lists every preset" % e)
        check(("Has latency:       yes" in info) == (e == "pitch"),
              "%s: latency reported only by Pitch Shift" % e)
    delay = run(["lv2info", BASE + "delay"], env).stdout
    block = delay.split("Symbol:      DelayTime")[1].split("Port")[0]
    check("Minimum:     1.0" in block and "Maximum:     5000.0" in block and
          "Default:     100.0" in block, "DelayTime: range 1 to 5000, default 100")
    reverb = run(["lv2info", BASE + "reverb"], env).stdout
    check('"Cathedral"' in reverb or '"Rich hall"' in reverb,
          "reverb modes are scale points with their names")


def compare(env, mwfx, tmp, effect, channels, sets, preset=None):
    src = os.path.join(tmp, "in%d.wav" % channels)
    lv2_out = os.path.join(tmp, "lv2.wav")
    ref_out = os.path.join(tmp, "ref.wav")
    uri = BASE + effect + ("-mono" if channels == 1 else "")
    args = ["lv2apply", "-i", src, "-o", lv2_out]
    margs = [mwfx, "process", effect, src, ref_out]
    for k, v in sets:
        args += ["-c", k, v]
        if preset is None:
            margs += ["--set", "%s=%s" % (k, v)]
    if preset is not None:
        margs += ["--preset", preset]
    if effect == "pitch":
        margs += ["--set", "PreserveDuration=1"]
    r1 = run(args + [uri], env)
    r2 = run(margs)
    what = "%s %s" % (uri, "preset " + preset if preset is not None else sets)
    if r1.returncode != 0 or r2.returncode != 0:
        check(False, what + r1.stderr + r2.stderr)
        return
    ch, got = read_float_wav(lv2_out)
    _, ref = read_float_wav(ref_out)
    skip = 0
    if effect == "pitch":
        # The output begins with the reported latency of silence: the core's stream follows.
        lead = len(got) - len(got.lstrip(b"\0"))
        first_ref = len(ref) - len(ref.lstrip(b"\0"))
        skip = (lead - first_ref) // (4 * ch) * 4 * ch
        check(skip > 0, what + ": a latency")
    n = len(got) - skip
    check(ch == channels and len(got) == FRAMES * 4 * channels, what + ": the input's length")
    check(got[skip:] == ref[:n], what + ": equals mwfx sample for sample")


def install(build, tmp):
    home = os.path.join(tmp, "home")
    prefix = os.path.join(tmp, "prefix")
    os.makedirs(home)
    r1 = run(["cmake", "--install", build], dict(os.environ, HOME=home))
    r2 = run(["cmake", "--install", build, "--prefix", prefix])
    check(r1.returncode == 0 and r2.returncode == 0, "cmake --install: " + r1.stderr + r2.stderr)
    for place in (os.path.join(home, ".lv2"), os.path.join(prefix, "lib", "lv2")):
        files = sorted(os.listdir(os.path.join(place, "mwppack1.lv2")))
        check(files == ["manifest.ttl", "mwppack1.so", "plugins.ttl", "presets.ttl"],
              "installed into %s: %s" % (place, files))
        listed = run(["lv2ls"], dict(os.environ, LV2_PATH=place)).stdout.split()
        check(len([u for u in listed if u.startswith(BASE)]) == 2 * len(EFFECTS),
              "lv2ls finds the installed plug-ins in " + place)


def main():
    bundle, mwfx, build = sys.argv[1], sys.argv[2], sys.argv[3]
    env = dict(os.environ, LV2_PATH=os.path.dirname(os.path.abspath(bundle)))
    validate(bundle)
    listing(env, mwfx)
    cases = {
        "delay": [[], [("Feedback", "1"), ("DelayTime", "40"), ("DecayTime", "30")],
                  [("DelayOut", "0"), ("DryOut", "-800"), ("DelayTime", "13")]],
        "chorus": [[], [("ChorusSize", "3"), ("Feedback", "60"), ("InvertChorusPhase", "1"),
                        ("AttenuateHighs", "1"), ("HighCutoff", "2500")]],
        "reverb": [[], [("ReverbMode", "7"), ("EarlyStyle", "8"), ("PreDelay", "35"),
                        ("AttenuateBass", "1"), ("EarlyOut", "-30")]],
        "multitap": [[], [("TapCount", "5"), ("TapDelay3", "90"), ("TapPan2", "-70"),
                          ("Feedback", "80"), ("ModDepth", "40"), ("LowPassOn", "1")]],
        "pitch": [[("Semitones", "4")], [("Semitones", "-7"), ("Mode", "3")],
                  [("Ratio", "1.5"), ("Accuracy", "3"), ("AntiAlias", "1"), ("Mode", "16")]],
    }
    with tempfile.TemporaryDirectory() as tmp:
        install(build, tmp)
        for ch in (1, 2):
            write_float_wav(os.path.join(tmp, "in%d.wav" % ch), ch, FRAMES, ch)
        for effect, settings in cases.items():
            # The presets by their port values, as a host applies them.
            for sets in settings:
                for ch in (1, 2):
                    compare(env, mwfx, tmp, effect, ch, sets)
            for row, sets in preset_values(env, effect):
                for ch in (1, 2):
                    compare(env, mwfx, tmp, effect, ch, sets, row)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("LV2 bundle: all checks passed")
    return 0


def preset_values(env, effect):
    """Two named presets of the effect (the last ones) as the port values the bundle's
    presets.ttl gives them."""
    bundle = os.path.join(env["LV2_PATH"], "mwppack1.lv2", "presets.ttl")
    with open(bundle) as f:
        text = f.read()
    blocks = re.findall(r"<" + re.escape(BASE + effect) + r"#preset(\d+)>(.*?) \.\n", text,
                        re.S)
    chosen = blocks[-2:]
    return [(row, re.findall(r'lv2:symbol "(\w+)" ; pset:value ([-0-9.e]+)', body))
            for row, body in chosen]


if __name__ == "__main__":
    sys.exit(main())
