"""The dots' track as the suites know it, typed from the tool's documented
animation (not read from its code): row 0 of the track, the other four dots
following it one frame apart, and how a sample of the panel is told as a
frame. Shared by the acceptance suite and the smoke test.

Run as a script, it reads the light blue places of one sample (comma
separated) and prints the frames that fit: "exact F..." when the sample is
exactly one frame's dots, "F..." when it carries residue, "none" for no
dots, "not-a-frame" otherwise."""
import sys

ROW0 = [32, 33, 34, 35, 36, 38, 40, 42, 45, 48, 51, 54, 57, 60, 64] + [-1] * 34 + \
       [0, 4, 8, 11, 14, 16, 18, 20, 22, 24, 26, 28, 29, 30, 31]
# Every place a dot is ever drawn at, left to right.
PLACES = sorted(set(v for v in ROW0 if v >= 0))


def frame_places(f):
    """The places of frame f: dot r at ROW0[(f - r) mod 64], hidden dots left out."""
    return sorted(set(ROW0[(f - r) % 64] for r in range(5)) - {-1})


def sample_fits(places):
    """Each frame f that a sample can show, with how many of its places are
    residue: all dots of frame f, plus others that must be residue. A paint
    covers only the frame just before its own, so when two ticks pass before
    one paint the dots of the skipped frame stay. A place left that way was
    last drawn before frame f - 1, so frame f's paint neither draws it nor
    covers it."""
    places = set(places)
    return {f: len(places - set(frame_places(f))) for f in range(64)
            if set(frame_places(f)) <= places
            and all(v in ROW0 and (f - ROW0.index(v)) % 64 >= 6 for v in places - set(frame_places(f)))}


def sample_frames(places):
    """The frames that explain a sample with the fewest residue places."""
    fits = sample_fits(places)
    least = min(fits.values(), default=None)
    return {f for f, extra in fits.items() if extra == least}


def forward_step(earlier, later):
    """Frames from one sample to the next move forward by less than half a
    cycle (a sample takes far less than 1.6 s); a track run backwards moves
    the other way. Returns the smallest step, or None."""
    steps = [(b - a) % 64 for a in earlier for b in later if (b - a) % 64 < 32]
    return min(steps) if steps else None


if __name__ == "__main__":
    seen = [int(v) for v in sys.argv[1].split(",") if v] if len(sys.argv) > 1 else []
    fits = sample_fits(seen)
    if not seen:
        print("none")
    elif not fits:
        print("not-a-frame:" + ",".join(map(str, sorted(seen))))
    else:
        least = min(fits.values())
        print(("exact " if least == 0 else "") + " ".join(str(f) for f in sorted(fits) if fits[f] == least))
