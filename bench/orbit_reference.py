#!/usr/bin/python3
"""Reference figures for the orbit code, from the python sgp4 library.

Run from the top of the tree (Debian's python with its sgp4 package):

    apt-get install -y python3-sgp4
    /usr/bin/python3 bench/orbit_reference.py

It writes tests/data/orbit/:
  leo.tle     the element sets below (ISS; SO-50 and AO-91 as made-up sets
              in the published form, checksums worked out here)
  verification.tle
              the near-Earth sets of the verification file that comes with
              the library (SGP4-VER.TLE): low perigees, high eccentricity,
              decay; as bare two-line sets
  states.csv  TEME position and velocity from a day before each epoch to
              three days after (for the verification sets, over the times
              that file gives), with the station's view and the subpoint;
              only the catalogue number and time where the model fails
  passes.csv  every pass over the station in the 24 hours from the first
              midnight (UTC) after each epoch, found in 1-second steps; the
              ISS also over a station far north, where its passes graze

The propagation is the library's (WGS-72, improved mode); the sidereal
time, the station's view, the subpoint and the pass search are done here
on their own, so the C++ code is held to figures it did not make.
"""

import calendar
import math
import os

import sgp4
from sgp4.api import WGS72, Satrec

STATION = (49.0583, -72.0292, 0.0)  # latitude, longitude (deg), height (m)
# Near the edge of the ISS's reach: low passes, one of them under a minute.
EDGE = (67.5, -72.0292, 0.0)

SETS = [
    ("ISS (ZARYA)",
     "1 25544U 98067A   08264.51782528 -.00002182  00000-0 -11606-4 0  292",
     "2 25544  51.6416 247.4627 0006703 130.5360 325.0288 15.7212539156353"),
    ("SO-50",
     "1 27607U 02058C   19120.52375000  .00000044  00000-0  21463-4 0  999",
     "2 27607  64.5529 173.2040 0043926 248.7563 110.8824 14.7567981286804"),
    ("AO-91",
     "1 43017U 17073E   19120.48125000  .00000072  00000-0  15783-4 0  999",
     "2 43017  97.7028 142.9621 0231612 123.4519 238.8973 14.78121568 7432"),
]

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "orbit")

# WGS-84 for the station and the subpoint; the earth's turn as with TEME.
A = 6378.137
F = 1 / 298.257223563
E2 = F * (2 - F)
OMEGA = 7.292115146706979e-5


def checksum(body):
    return str(sum(int(c) if c.isdigit() else c == "-" for c in body) % 10)


def verification_sets():
    """(line 1, line 2, start, stop, step in minutes) of each near-Earth set."""
    path = os.path.join(os.path.dirname(sgp4.__file__), "SGP4-VER.TLE")
    lines = [l.rstrip("\n") for l in open(path) if l[:2] in ("1 ", "2 ")]
    sets = []
    for l1, l2 in zip(lines[0::2], lines[1::2]):
        if float(l2[52:63]) < 1440 / 225:
            continue
        start, stop, step = (float(x) for x in l2[69:].split()[:3])
        start = min(start, 0.0)  # from the epoch on, where a set starts later
        sets.append((l1[:68] + checksum(l1[:68]), l2[:68] + checksum(l2[:68]),
                     start, stop, max(step, (stop - start) / 12)))
    return sets


def epoch_unix(line1):
    year = int(line1[18:20])
    year += 2000 if year < 57 else 1900
    return calendar.timegm((year, 1, 1, 0, 0, 0)) + (float(line1[20:32]) - 1) * 86400


def gmst(unix):
    """IAU-82 sidereal time, radians, UT1 taken as UTC."""
    jd = unix / 86400.0 + 2440587.5
    t = (jd - 2451545.0) / 36525.0
    sec = 67310.54841 + t * (876600 * 3600 + 8640184.812866 + t * (0.093104 - t * 6.2e-6))
    return math.radians(sec / 240.0) % (2 * math.pi)


def to_ecef(r, v, unix):
    g = gmst(unix)
    c, s = math.cos(g), math.sin(g)
    re = (c * r[0] + s * r[1], -s * r[0] + c * r[1], r[2])
    ve = (c * v[0] + s * v[1] + OMEGA * re[1], -s * v[0] + c * v[1] - OMEGA * re[0], v[2])
    return re, ve


def site(station):
    lat, lon, h = math.radians(station[0]), math.radians(station[1]), station[2] / 1000
    n = A / math.sqrt(1 - E2 * math.sin(lat) ** 2)
    return ((n + h) * math.cos(lat) * math.cos(lon), (n + h) * math.cos(lat) * math.sin(lon),
            (n * (1 - E2) + h) * math.sin(lat))


def view(r, v, unix, station=STATION):
    """Azimuth, elevation (deg), range (km), range rate (km/s), by a
    rotation into south-east-zenith."""
    re, ve = to_ecef(r, v, unix)
    lat, lon = math.radians(station[0]), math.radians(station[1])
    place = site(station)
    d = [re[i] - place[i] for i in range(3)]
    # Turn by the longitude about z, then by the colatitude about y.
    x1 = math.cos(lon) * d[0] + math.sin(lon) * d[1]
    y1 = -math.sin(lon) * d[0] + math.cos(lon) * d[1]
    south = math.sin(lat) * x1 - math.cos(lat) * d[2]
    zenith = math.cos(lat) * x1 + math.sin(lat) * d[2]
    rng = math.sqrt(sum(c * c for c in d))
    el = math.degrees(math.asin(zenith / rng))
    az = math.degrees(math.atan2(y1, -south)) % 360
    rate = sum(d[i] * ve[i] for i in range(3)) / rng
    return az, el, rng, rate


def subpoint(r, unix):
    """Geodetic point by Bowring's closed form."""
    re, _ = to_ecef(r, (0, 0, 0), unix)
    p = math.hypot(re[0], re[1])
    b = A * (1 - F)
    ep2 = (A * A - b * b) / (b * b)
    theta = math.atan2(re[2] * A, p * b)
    lat = math.atan2(re[2] + ep2 * b * math.sin(theta) ** 3, p - E2 * A * math.cos(theta) ** 3)
    n = A / math.sqrt(1 - E2 * math.sin(lat) ** 2)
    h = p / math.cos(lat) - n
    return math.degrees(lat), math.degrees(math.atan2(re[1], re[0])), h


def elevation(sat, epoch, unix, station):
    err, r, v = sat.sgp4_tsince((unix - epoch) / 60.0)
    return -90.0 if err else view(r, v, unix, station)[1]


def pass_search(sat, epoch, station, start, hours):
    """Whole passes overlapping [start, start + hours), 1-second samples;
    crossings by linear interpolation, the top by a parabola."""
    end = start + hours * 3600
    t = start
    while elevation(sat, epoch, t, station) > 0:
        t -= 1
    found = []
    prev = (t, elevation(sat, epoch, t, station))
    samples = []
    while True:
        t += 1
        e = elevation(sat, epoch, t, station)
        if prev[1] <= 0 < e:
            rise = prev[0] + prev[1] / (prev[1] - e)
            samples = [prev]
        if samples:
            samples.append((t, e))
        if samples and prev[1] > 0 >= e:
            set_ = prev[0] + prev[1] / (prev[1] - e)
            i = max(range(1, len(samples) - 1), key=lambda k: samples[k][1])
            (t0, e0), (t1, e1), (t2, e2) = samples[i - 1:i + 2]
            shift = 0.5 * (e0 - e2) / (e0 - 2 * e1 + e2)
            top = t1 + shift
            if set_ > start and rise < end:
                found.append((rise, top, set_, elevation(sat, epoch, top, station)))
            samples = []
        prev = (t, e)
        if t >= end and not samples:
            return found


def state_row(sat, epoch, number, minutes):
    unix = epoch + minutes * 60
    err, r, v = sat.sgp4_tsince(minutes)
    if err:
        return f"{number},{unix:.6f}"
    az, el, rng, rate = view(r, v, unix)
    lat, lon, h = subpoint(r, unix)
    return (f"{number},{unix:.6f}," + ",".join(f"{x:.6f}" for x in r) + "," +
            ",".join(f"{x:.9f}" for x in v) +
            f",{az:.6f},{el:.6f},{rng:.6f},{rate:.9f},{lat:.7f},{lon:.7f},{h:.6f}")


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "leo.tle"), "w") as f:
        for name, l1, l2 in SETS:
            f.write(f"{name}\n{l1}{checksum(l1)}\n{l2}{checksum(l2)}\n")

    verification = verification_sets()
    with open(os.path.join(OUT, "verification.tle"), "w") as f:
        for l1, l2, *_ in verification:
            f.write(f"{l1}\n{l2}\n")

    states = ["# catalogue,unix,x,y,z,vx,vy,vz (TEME km, km/s),"
              "azimuth,elevation,range,rangeRate (deg, km, km/s),latitude,longitude,height",
              f"# station {STATION[0]} {STATION[1]} {STATION[2]}"]
    passes = ["# catalogue,latitude,longitude,from,rise,max,set,maxElevation "
              "(24 hours from each 'from'; the station's height 0)"]
    for name, l1, l2 in SETS:
        l1, l2 = l1 + checksum(l1), l2 + checksum(l2)
        sat = Satrec.twoline2rv(l1, l2, WGS72)
        epoch = epoch_unix(l1)
        number = int(l1[2:7])
        for minutes in range(-1440, 4321, 270):
            states.append(state_row(sat, epoch, number, minutes))
        start = (math.floor(epoch / 86400) + 1) * 86400
        for station in [STATION] + ([EDGE] if number == 25544 else []):
            for rise, top, set_, el in pass_search(sat, epoch, station, start, 24):
                passes.append(f"{number},{station[0]},{station[1]},{start},"
                              f"{rise:.3f},{top:.3f},{set_:.3f},{el:.5f}")
    for l1, l2, start, stop, step in verification:
        sat = Satrec.twoline2rv(l1, l2, WGS72)
        minutes = start
        while minutes <= stop + 1e-9:
            states.append(state_row(sat, epoch_unix(l1), int(l1[2:7]), minutes))
            minutes += step
    with open(os.path.join(OUT, "states.csv"), "w") as f:
        f.write("\n".join(states) + "\n")
    with open(os.path.join(OUT, "passes.csv"), "w") as f:
        f.write("\n".join(passes) + "\n")


if __name__ == "__main__":
    main()
