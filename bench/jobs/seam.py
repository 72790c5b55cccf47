#!/usr/bin/python3
"""Can two MP3 encoders, each on one half of a join, give one seamless file?

Encoder A takes the audio up to a little past the seam, encoder B from some frames
before it (a pre-roll whose frames are dropped). The kept frames are A's before the seam
frame and B's from it on. Both encoders start on frame boundaries of the one-encoder
timeline, so B's frame i is frame i + start/1152 of that timeline.

The catch is the bit reservoir: a frame's main data may begin up to 511 bytes before its
header (main_data_begin), in the frames before it. B's first kept frame may reach back
into B's dropped frames; after the seam the decoder finds A's bytes there instead.
Variants measured:
  naive    the frames simply concatenated
  mdb0     the seam put on a frame where B's main_data_begin is 0 (nothing reached back)
  patched  the seam put where A leaves at least as many unused reservoir bytes before the
           seam frame as B's frame reaches back, and B's reservoir bytes written there

For each: the total length decoded by mpg123 (gapless, from the encoder's delay and
padding in the Info tag, here the one-encoder file's) against the one-encoder file, and
the error to the source in 50 ms windows across the seam against windows away from it.

Usage: bench/jobs/seam.py [seconds] (default 40); uses ffmpeg (libmp3lame) and mpg123.
"""

import os
import subprocess
import sys
import tempfile

import numpy as np

RATE = 44100
FRAME = 1152
WINDOW = RATE // 20  # 50 ms
BITRATE = "128k"
HERE = os.path.dirname(os.path.abspath(__file__))


def run(args, data=None):
    return subprocess.run(args, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          check=True).stdout


def source(seconds, tmp):
    """A stretch of the join bench's first input at 44.1 kHz stereo, else a made signal."""
    wav = os.path.join(HERE, "..", "data", "jobs", "part1.wav")
    ff = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error"]
    if os.path.exists(wav):
        src = ff + ["-ss", "30", "-t", str(seconds), "-i", wav]
    else:
        expr = ("0.35*sin(2*PI*(220+110*sin(2*PI*t/9))*t)+0.05*(2*random(0)-1)|"
                "0.35*sin(2*PI*(330+90*sin(2*PI*t/11))*t)+0.05*(2*random(1)-1)")
        src = ff + ["-f", "lavfi", "-i", f"aevalsrc={expr}:s=48000:d={seconds}"]
    # Drum-like bursts every 0.7 s: transients are where a seam would show.
    raw = run(src + ["-ar", str(RATE), "-ac", "2", "-f", "f32le", "-"])
    pcm = np.frombuffer(raw, dtype="<f4").reshape(-1, 2).copy()
    t = np.arange(len(pcm)) / RATE
    burst = np.exp(-((t % 0.7) * 40.0)) * np.sin(2 * np.pi * 90 * t) * 0.4
    rng = np.random.default_rng(7)
    burst += np.exp(-((t % 0.7) * 90.0)) * rng.uniform(-0.3, 0.3, len(t))
    return np.clip(pcm * 0.6 + burst[:, None], -1, 1).astype("<f4")


def encode(pcm, path):
    run(["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f", "f32le", "-ar",
         str(RATE), "-ac", "2", "-i", "-", "-c:a", "libmp3lame", "-b:a", BITRATE, path],
        pcm.tobytes())
    with open(path, "rb") as f:
        return f.read()


def frames(data):
    """(offset, size, main_data_begin, side_info_end) of each MPEG-1 layer III frame."""
    rates = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
    out = []
    pos = 0
    if data[:3] == b"ID3":
        pos = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    while pos + 4 <= len(data):
        h = int.from_bytes(data[pos:pos + 4], "big")
        if (h >> 21) != 0x7FF or ((h >> 19) & 3) != 3 or ((h >> 17) & 3) != 1:
            raise ValueError(f"no MPEG-1 layer III frame at {pos}")
        size = 144000 * rates[(h >> 12) & 15] // RATE + ((h >> 9) & 1)
        crc = 0 if (h >> 16) & 1 else 2
        mono = ((h >> 6) & 3) == 3
        side = pos + 4 + crc
        mdb = (data[side] << 1) | (data[side + 1] >> 7)
        out.append((pos, size, mdb, side + (17 if mono else 32)))
        pos += size
    return out


def main_data_positions(data, fr, first, last):
    """Byte offsets of the main data of frames [first, last), in stream order."""
    pos = []
    for off, size, _, side_end in fr[first:last]:
        pos.extend(range(side_end, off + size))
    return pos


def decode(data, tmp, name):
    path = os.path.join(tmp, name)
    with open(path, "wb") as f:
        f.write(data)
    p = subprocess.run(["mpg123", "-q", "-e", "f32", "-s", path], stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE)
    warn = p.stderr.decode(errors="replace").strip().splitlines()
    return np.frombuffer(p.stdout, dtype="<f4").reshape(-1, 2), warn


def window_errors(decoded, src):
    n = min(len(decoded), len(src)) // WINDOW * WINDOW
    diff = (decoded[:n] - src[:n]).reshape(-1, WINDOW, 2)
    ref = src[:n].reshape(-1, WINDOW, 2)
    err = np.sqrt(np.mean(diff ** 2, axis=(1, 2)))
    sig = np.sqrt(np.mean(ref ** 2, axis=(1, 2)))
    return 20 * np.log10(np.maximum(sig, 1e-9) / np.maximum(err, 1e-9))  # SNR in dB


def report(label, decoded, warn, src, one_snr, one_len, seam_sample):
    """Prints the SNR of the 50 ms windows across the seam against the one encoder's in the
    same windows, and against the spread of (two-encoder - one-encoder) away from it."""
    snr = window_errors(decoded, src)
    w = seam_sample // WINDOW
    lo, hi = max(w - 1, 0), w + 2
    delta = snr - one_snr[:len(snr)]
    away = np.concatenate([delta[2:max(lo - 20, 2)], delta[hi + 20:-2]])
    print(f"{label:8s} length {len(decoded)} ({len(decoded) - one_len:+d} vs one encoder); "
          f"seam windows SNR {np.array2string(snr[lo:hi], precision=2)} dB, one encoder "
          f"{np.array2string(one_snr[lo:hi], precision=2)}; worst change at the seam "
          f"{delta[lo:hi].min():+.2f} dB, away from it {away.min():+.2f} dB; "
          f"decoder warnings {len(warn)}")
    return delta[lo:hi].min()


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 40
    with tempfile.TemporaryDirectory() as tmp:
        src = source(seconds, tmp)
        n = len(src)
        one = encode(src, os.path.join(tmp, "one.mp3"))
        fr_one = frames(one)
        tag = one[:fr_one[1][0]]  # the Info frame: the one encoder's length, delay, padding
        decoded_one, warn_one = decode(one, tmp, "one_dec.mp3")
        print(f"source {n} samples; one encoder: {len(fr_one) - 1} frames, decoded "
              f"{len(decoded_one)} samples, decoder warnings {len(warn_one)}")
        one_len = len(decoded_one)
        one_snr = window_errors(decoded_one, src)
        print(f"one encoder SNR over 50 ms windows: min {one_snr[2:-2].min():.2f}, median "
              f"{np.median(one_snr):.2f} dB")

        mid = (n // 2) // FRAME              # the planned seam frame (one-encoder timeline)
        reach = 40                           # seam candidates: mid .. mid + reach
        pre, post = 8, 8                     # frames before / after the candidates
        a_end = (mid + reach + post) * FRAME
        b_start_frame = mid - pre
        a = encode(src[:a_end], os.path.join(tmp, "a.mp3"))
        b = encode(src[b_start_frame * FRAME:], os.path.join(tmp, "b.mp3"))
        fa, fb = frames(a)[1:], frames(b)[1:]  # without their Info frames
        fo = fr_one[1:]
        same_a = sum(1 for i in range(mid) if a[fa[i][0]:fa[i][0] + fa[i][1]]
                     == one[fo[i][0]:fo[i][0] + fo[i][1]])
        print(f"A's first {mid} frames byte-identical to the one encoder's: {same_a}")
        print(f"frames: one {len(fo)}, A {len(fa)}, B {len(fb)} from frame {b_start_frame} "
              f"(ends at {b_start_frame + len(fb)})")

        def b_index(j):
            return j - b_start_frame

        def join(j, patch):
            body_a = bytearray(b"".join(a[o:o + s] for o, s, _, _ in fa[:j]))
            fa_local = frames(bytes(tag) + bytes(body_a))[1:] if j > 0 else []
            if patch:
                need = fb[b_index(j)][2]
                src_pos = main_data_positions(b, fb, 0, b_index(j))[-need:] if need else []
                base = len(tag)
                dst_pos = main_data_positions(bytes(tag) + bytes(body_a),
                                              [(o + 0, s, m, e) for o, s, m, e in fa_local],
                                              0, len(fa_local))[-need:] if need else []
                for d, s in zip(dst_pos, src_pos):
                    body_a[d - base] = b[s]
            body_b = b"".join(b[o:o + s] for o, s, _, _ in fb[b_index(j):])
            return bytes(tag) + bytes(body_a) + body_b

        delay = 1105  # samples the decoder's output lags the frames (encoder + decoder delay)
        cands = range(mid, mid + reach)
        print("B's main_data_begin at the candidates:",
              [fb[b_index(j)][2] for j in cands][:20], "...")
        print("A's unused bytes before them:       ",
              [fa[j][2] for j in cands][:20], "...")

        results = {}
        results["naive"] = mid
        mdb0 = [j for j in cands if fb[b_index(j)][2] == 0]
        if mdb0:
            results["mdb0"] = mdb0[0]
        fits = [j for j in cands if fa[j][2] >= fb[b_index(j)][2] and fb[b_index(j)][2] > 0]
        if fits:
            results["patched"] = fits[0]
        worst = []
        for j in fits:
            dec, warn = decode(join(j, True), tmp, "fit.mp3")
            d = window_errors(dec, src) - one_snr
            w = (j * FRAME - delay) // WINDOW
            worst.append((d[max(w - 1, 0):w + 2].min(), len(dec) - one_len, len(warn)))
        if worst:
            print(f"patched at each of the {len(fits)} of {reach} candidates where it fits: worst "
                  f"SNR change at the seam {min(x[0] for x in worst):+.2f} dB, lengths off by "
                  f"{sorted(set(x[1] for x in worst))}, warnings {sum(x[2] for x in worst)}")
        for label in ("naive", "mdb0", "patched"):
            if label not in results:
                print(f"{label:8s} no candidate frame in {reach}")
                continue
            j = results[label]
            out = join(j, label == "patched")
            dec, warn = decode(out, tmp, label + ".mp3")
            print(f"{label:8s} seam frame {j} (B's main_data_begin {fb[b_index(j)][2]}, "
                  f"A's free {fa[j][2]})")
            report(label, dec, warn, src, one_snr, one_len, j * FRAME - delay)
            d = min(len(dec), one_len)
            diff = np.abs(dec[:d] - decoded_one[:d]).max(axis=1)
            nz = np.nonzero(diff > 1e-6)[0]
            if len(nz):
                print(f"         differs from the one-encoder decode from sample {nz[0]} "
                      f"(seam at {j * FRAME - delay})")


if __name__ == "__main__":
    main()
