// Figures for the orbit code held to the python sgp4 library's
// (bench/orbit_reference.py writes them to tests/data/orbit): the largest
// differences over the reference tables, the time of one propagation step
// and of a day's pass search. Prints figures; judges nothing.

#include "orbit/elements.h"
#include "orbit/look.h"
#include "orbit/passes.h"
#include "orbit/sgp4.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace kestrel::orbit;

namespace {

using Clock = std::chrono::steady_clock;

std::string dataPath(const char *name)
{
    return std::string(KESTREL_SOURCE) + "/tests/data/orbit/" + name;
}

std::string contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Rows of comma-separated numbers; '#' lines are comments.
std::vector<std::vector<double>> table(const std::string &path)
{
    std::vector<std::vector<double>> rows;
    std::istringstream in(contents(path));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<double> row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');)
            row.push_back(std::strtod(field.c_str(), nullptr));
        rows.push_back(row);
    }
    return rows;
}

// The line for `./run bench`'s table, when BENCH_SUMMARY names its file.
void summary(const char *figure, double value, const char *target)
{
    const char *path = std::getenv("BENCH_SUMMARY");
    if (!path || !*path)
        return;
    if (FILE *f = std::fopen(path, "a")) {
        std::fprintf(f, "orbit\t%s\t%.4g\t%s\n", figure, value, target);
        std::fclose(f);
    }
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0) {
            std::puts("usage: bench_orbit\nThe orbit code against tests/data/orbit, and its "
                      "speed.");
            return 0;
        }

    std::map<int, Propagator> satellites;
    for (const char *file : {"leo.tle", "verification.tle"}) {
        const ReadResult read = readElements(contents(dataPath(file)));
        for (const std::string &problem : read.problems)
            std::printf("%s: %s\n", file, problem.c_str());
        for (const Elements &e : read.sets)
            satellites.emplace(e.catalogueNumber, Propagator(e));
    }
    if (!satellites.count(25544)) {
        std::puts("tests/data/orbit/leo.tle: no ISS");
        return 1;
    }
    const Station station{49.0583, -72.0292, 0};

    // Rows of two numbers are times where the model fails.
    double position = 0, velocity = 0;
    int failures = 0, failuresAlike = 0;
    const auto states = table(dataPath("states.csv"));
    for (const auto &row : states) {
        const auto s = satellites.at(int(row[0])).at(row[1]);
        failures += row.size() == 2;
        failuresAlike += row.size() == 2 && !s;
        if (bool(s) != (row.size() > 2))
            std::printf("%d at %.0f: %s\n", int(row[0]), row[1],
                        s ? "a state where the reference fails" : "no state");
        if (!s || row.size() == 2)
            continue;
        position =
            std::max(position, std::hypot(s->positionKm[0] - row[2], s->positionKm[1] - row[3],
                                          s->positionKm[2] - row[4]));
        velocity =
            std::max(velocity, std::hypot(s->velocityKmS[0] - row[5], s->velocityKmS[1] - row[6],
                                          s->velocityKmS[2] - row[7]));
    }

    double riseSet = 0, maxTime = 0, maxElevation = 0;
    // Rows by satellite and station.
    std::map<std::pair<int, double>, std::vector<std::vector<double>>> expected;
    for (const auto &row : table(dataPath("passes.csv")))
        expected[{int(row[0]), row[1]}].push_back(row);
    std::size_t passCount = 0;
    for (const auto &[key, want] : expected) {
        const Station at{want[0][1], want[0][2], 0};
        const auto found = passes(satellites.at(key.first), at, want[0][3], 24);
        if (found.size() != want.size())
            std::printf("%d at %g: %zu passes, the reference has %zu\n", key.first, key.second,
                        found.size(), want.size());
        for (std::size_t i = 0; i < std::min(found.size(), want.size()); ++i) {
            riseSet = std::max({riseSet, std::fabs(found[i].riseUnix - want[i][4]),
                                std::fabs(found[i].setUnix - want[i][6])});
            maxTime = std::max(maxTime, std::fabs(found[i].maxUnix - want[i][5]));
            maxElevation = std::max(maxElevation, std::fabs(found[i].maxElevationDeg - want[i][7]));
        }
        passCount += want.size();
    }

    // One step: a second on each time, over three days from the epoch.
    const Propagator &iss = satellites.at(25544);
    const double epoch = iss.elements().epochUnix;
    const int steps = 1000000;
    double sink = 0;
    auto start = Clock::now();
    for (int i = 0; i < steps; ++i)
        if (const auto s = iss.at(epoch + i * 0.26))
            sink += s->positionKm[0];
    const double stepMicroseconds = secondsSince(start) / steps * 1e6;

    const int searches = 50;
    std::size_t found = 0;
    start = Clock::now();
    for (int i = 0; i < searches; ++i)
        found += passes(iss, station, epoch + i * 3600, 24).size();
    const double searchMilliseconds = secondsSince(start) / searches * 1e3;

    std::printf("reference: %zu states of %zu satellites, %zu passes (python sgp4)\n",
                states.size(), satellites.size(), passCount);
    std::printf("model failures alike          %d of %d\n", failuresAlike, failures);
    std::printf("largest position difference   %.3g km\n", position);
    std::printf("largest velocity difference   %.3g km/s\n", velocity);
    std::printf("largest rise/set difference   %.3g s\n", riseSet);
    std::printf("largest time of max difference %.3g s\n", maxTime);
    std::printf("largest max elevation diff.   %.3g deg\n", maxElevation);
    std::printf("propagation step              %.3f us (mean of %d)\n", stepMicroseconds, steps);
    std::printf("24-hour pass search, ISS      %.3f ms (mean of %d, %.1f passes each)\n",
                searchMilliseconds, searches, double(found) / searches);
    std::printf("(checksum %.0f)\n", sink);
    summary("position difference (km)", position, "< 0.001");
    summary("rise/set difference (s)", riseSet, "< 1");
    summary("max elevation difference (deg)", maxElevation, "< 0.01");
    summary("propagation step (us)", stepMicroseconds, "< 5");
    summary("24 h pass search (ms)", searchMilliseconds, "< 20");
    return 0;
}
