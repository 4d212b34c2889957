// envelope_sweep: runs the sweep's checks on N generated feeds and writes a
// report: how many feeds fail each check, and every failing feed as a
// phase-envelope command that reproduces it.
//
//   envelope_sweep [--seed S] [--n N] [--jobs J] [--timeout SECONDS] [--report FILE]
//                  [--digests FILE]
//
// --digests writes one line per feed (index, digest of the host path's result,
// host calls, rows): two builds compute the same envelopes where their files
// agree, which is how a change meant to leave results alone is checked.
//
// Each feed runs in a child process of its own, J at a time, so that a crash
// or a hang is recorded against its feed instead of ending the sweep.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com.h"
#include "tests/sweep/envelope_checks.h"
#include "tests/sweep/feeds.h"
#include "tests/sweep/special_points.h"

namespace {

struct Options {
    uint64_t seed = 1;
    int n = 100;
    int jobs = 2;
    double timeout = 300.0;
    std::string report;
    std::string digests;
    int only = 0;  // 1-based index of the one feed to run in this process, with every failure
    bool special = false;  // the special-point sweep instead of the random one
    bool chords = false;   // the chord check of the named fluids
    std::string feed;      // one feed given by name=fraction,... instead of generated ones
    bool srk = false;
    bool zeroKij = false;
};

// The feed of --feed "name=fraction,...".
sweep::SweepFeed ParseFeed(const Options& options) {
    std::vector<std::pair<std::string, double>> components;
    std::string text = options.feed;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string item = text.substr(start, end - start);
        const size_t eq = item.find('=');
        if (eq != std::string::npos)
            components.emplace_back(item.substr(0, eq), std::atof(item.c_str() + eq + 1));
        start = end + 1;
    }
    return sweep::NamedFeed("given", components, options.srk, options.zeroKij);
}

struct Outcome {
    sweep::FeedReport report;
    bool finished = false;
};

// Child: runs one feed and writes its report to fd, one failure per line.
[[noreturn]] void RunChild(const sweep::SweepFeed& feed, int fd) {
    std::string out;
    if (SUCCEEDED(CoInitialize(nullptr))) {
        try {
            const sweep::FeedReport r = sweep::CheckFeed(feed);
            char meta[160];
            std::snprintf(meta, sizeof(meta), "meta\t%.3f\t%ld\t%d\t%u\t%llx\n", r.elapsedMs,
                          r.hostCalls, r.rows, r.gaps, static_cast<unsigned long long>(r.digest));
            out += meta;
            for (const auto& f : r.failures)
                out += f.check + "\t" + f.detail + "\n";
        } catch (const std::exception& e) {
            out += std::string("status\tthe calculation threw: ") + e.what() + "\n";
        }
        CoUninitialize();
    } else {
        out += "status\tCOM could not be initialised\n";
    }
    out += "end\n";
    size_t written = 0;
    while (written < out.size()) {
        const ssize_t k = write(fd, out.data() + written, out.size() - written);
        if (k <= 0)
            break;
        written += static_cast<size_t>(k);
    }
    close(fd);
    _exit(0);
}

struct Running {
    pid_t pid;
    int fd;
    size_t index;
    std::string text;
    std::chrono::steady_clock::time_point start;
};

Outcome Parse(const std::string& text) {
    Outcome o;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t tab = line.find('\t');
        const std::string key = line.substr(0, tab);
        const std::string rest = tab == std::string::npos ? "" : line.substr(tab + 1);
        if (key == "end") {
            o.finished = true;
        } else if (key == "meta") {
            unsigned long long digest = 0;
            std::sscanf(rest.c_str(), "%lf\t%ld\t%d\t%u\t%llx", &o.report.elapsedMs,
                        &o.report.hostCalls, &o.report.rows, &o.report.gaps, &digest);
            o.report.digest = digest;
        } else if (!key.empty()) {
            o.report.failures.push_back({key, rest});
        }
    }
    return o;
}

std::vector<Outcome> RunAll(const std::vector<sweep::SweepFeed>& feeds, const Options& options) {
    std::vector<Outcome> outcomes(feeds.size());
    std::vector<Running> running;
    size_t next = 0;
    size_t done = 0;
    while (done < feeds.size()) {
        while (static_cast<int>(running.size()) < options.jobs && next < feeds.size()) {
            int fds[2];
            if (pipe(fds) != 0) {
                std::perror("pipe");
                std::exit(1);
            }
            std::fflush(nullptr);
            const pid_t pid = fork();
            if (pid == 0) {
                close(fds[0]);
                RunChild(feeds[next], fds[1]);
            }
            close(fds[1]);
            running.push_back({pid, fds[0], next, "", std::chrono::steady_clock::now()});
            ++next;
        }
        std::vector<pollfd> polls;
        for (const Running& r : running)
            polls.push_back({r.fd, POLLIN, 0});
        poll(polls.data(), polls.size(), 200);
        std::vector<bool> finished(running.size(), false);
        for (size_t k = 0; k < running.size(); ++k) {
            Running& r = running[k];
            bool closed = false;
            if (polls[k].revents != 0) {
                char buffer[4096];
                const ssize_t got = read(r.fd, buffer, sizeof(buffer));
                if (got > 0)
                    r.text.append(buffer, static_cast<size_t>(got));
                else
                    closed = true;
            }
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - r.start).count();
            if (!closed && seconds > options.timeout) {
                kill(r.pid, SIGKILL);
                closed = true;
                r.text +=
                    "hang\tno result after " + std::to_string(static_cast<int>(seconds)) + " s\n";
            }
            if (!closed)
                continue;
            int status = 0;
            waitpid(r.pid, &status, 0);
            close(r.fd);
            Outcome o = Parse(r.text);
            if (!o.finished && r.text.find("hang\t") == std::string::npos) {
                o.report.failures.push_back(
                    {"crash", WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                                  : "the child ended without a result"});
            }
            outcomes[r.index] = std::move(o);
            finished[k] = true;
            ++done;
            if (done % 50 == 0)
                std::fprintf(stderr, "envelope_sweep: %zu of %zu feeds\n", done, feeds.size());
        }
        std::vector<Running> still;
        for (size_t k = 0; k < running.size(); ++k) {
            if (!finished[k])
                still.push_back(std::move(running[k]));
        }
        running = std::move(still);
    }
    return outcomes;
}

std::string Report(const std::vector<sweep::SweepFeed>& feeds, const std::vector<Outcome>& outcomes,
                   const Options& options, double seconds) {
    std::vector<std::string> checks = {"crash", "hang"};
    for (const std::string& c : sweep::CheckNames())
        checks.push_back(c);
    std::map<std::string, int> failing;
    int anyFailure = 0;
    std::vector<double> times;
    long maxCalls = 0;
    for (const Outcome& o : outcomes) {
        std::map<std::string, bool> seen;
        for (const auto& f : o.report.failures)
            seen[f.check] = true;
        for (const auto& s : seen)
            failing[s.first] += 1;
        anyFailure += o.report.failures.empty() ? 0 : 1;
        times.push_back(o.report.elapsedMs);
        maxCalls = std::max(maxCalls, o.report.hostCalls);
    }
    std::sort(times.begin(), times.end());
    std::ostringstream out;
    out << "# Envelope sweep: seed " << options.seed << ", " << feeds.size() << " feeds\n\n";
    char line[256];
    std::snprintf(line, sizeof(line),
                  "%d of %zu feeds fail at least one check (%.1f %%). Sweep time %.0f s; "
                  "Execute median %.1f ms, slowest %.0f ms; most host calls %ld.\n\n",
                  anyFailure, feeds.size(), 100.0 * anyFailure / std::max<size_t>(1, feeds.size()),
                  seconds, times.empty() ? 0.0 : times[times.size() / 2],
                  times.empty() ? 0.0 : times.back(), maxCalls);
    out << line;
    out << "| check | feeds failing |\n|---|---|\n";
    for (const std::string& c : checks)
        out << "| " << c << " | " << failing[c] << " |\n";
    // A critical point missing from an envelope that says a trace stopped
    // short is missing where the envelope says so; the others are silent.
    const long criticalSaid = std::count_if(outcomes.begin(), outcomes.end(), [](const Outcome& o) {
        return o.report.Failed("critical") && (o.report.gaps & 0x01u) != 0;
    });
    out << "\nOf the " << failing["critical"] << " feeds failing the critical check, "
        << criticalSaid << " have an envelope that says a dew or bubble trace stopped short.\n";
    // What the envelopes that say they are incomplete miss.
    const std::pair<uint32_t, const char*> gapNames[] = {
        {0x01, "a dew or bubble trace stopped short"},
        {0x02, "a three-phase boundary stopped short"},
        {0x04, "the point store filled"},
        {0x08, "a high-purity feed given a single compound's curve"},
        {0x10, "no point found"}};
    int incomplete = 0;
    for (const Outcome& o : outcomes)
        incomplete += o.report.gaps != 0 ? 1 : 0;
    out << "\n"
        << incomplete << " envelopes say they are incomplete:\n\n| gap | envelopes |\n|---|---|\n";
    for (const auto& g : gapNames) {
        int n = 0;
        for (const Outcome& o : outcomes)
            n += (o.report.gaps & g.first) != 0 ? 1 : 0;
        out << "| " << g.second << " | " << n << " |\n";
    }
    out << "\n## Failing feeds\n\n";
    for (size_t i = 0; i < feeds.size(); ++i) {
        const Outcome& o = outcomes[i];
        if (o.report.failures.empty())
            continue;
        out << "- feed " << i + 1 << " (" << feeds[i].kind << "): `phase-envelope "
            << feeds[i].Arguments() << "`\n";
        std::map<std::string, int> shown;
        for (const auto& f : o.report.failures) {
            if (++shown[f.check] > 3)
                continue;
            out << "  - " << f.check << ": " << f.detail << "\n";
        }
        for (const auto& s : shown) {
            if (s.second > 3)
                out << "  - " << s.first << ": " << s.second - 3 << " more\n";
        }
    }
    return out.str();
}

// The special-point sweep: every mixture's critical point, cricondenbar and
// cricondentherm against the host's solver and saturation flash.
int RunSpecialPoints(const Options& options) {
    CoInitialize(nullptr);
    std::ostringstream out;
    out << "# Special points: " << sweep::SpecialPointMixtures().size() << " mixtures\n\n"
        << "| mixture | critical dT K | critical dP % | cricondenbar dP % | cricondentherm dT K |\n"
        << "|---|---|---|---|---|\n";
    int failing = 0;
    std::string details;
    auto cell = [](double v, double scale) {
        char text[32];
        if (std::isnan(v))
            return std::string("-");
        std::snprintf(text, sizeof(text), "%.4f", v * scale);
        return std::string(text);
    };
    const std::vector<sweep::SweepFeed> mixtures = sweep::SpecialPointMixtures();
    for (size_t k = 0; k < mixtures.size(); ++k) {
        if (options.only > 0 && static_cast<size_t>(options.only) != k + 1)
            continue;
        const sweep::SweepFeed& feed = mixtures[k];
        const sweep::SpecialPointReport r = sweep::CheckSpecialPoints(feed);
        out << "| " << feed.kind << " | " << cell(r.criticalKelvin, 1.0) << " | "
            << cell(r.criticalRelative, 100.0) << " | " << cell(r.cricondenbarRelative, 100.0)
            << " | " << cell(r.cricondenthermKelvin, 1.0) << " |\n";
        if (!r.failures.empty()) {
            ++failing;
            details += "- " + feed.kind + ": `phase-envelope " + feed.Arguments() + "`\n";
            for (const auto& f : r.failures)
                details += "  - " + f.check + ": " + f.detail + "\n";
        }
    }
    CoUninitialize();
    out << "\n" << failing << " mixtures outside the bounds (0.02 K, 0.02 %)\n\n" << details;
    if (!options.report.empty())
        std::ofstream(options.report) << out.str();
    std::cout << out.str();
    return failing == 0 ? 0 : 1;
}

// The chord check of the dry natural gas, the default wet gas and the
// methane/n-butane/n-decane/water feed.
int RunChords(const Options& options) {
    CoInitialize(nullptr);
    std::ostringstream out;
    int failing = 0;
    for (const sweep::SweepFeed& feed : sweep::ChordFluids()) {
        int checked = 0;
        const std::vector<sweep::CheckFailure> failures = sweep::CheckChords(feed, &checked);
        out << feed.kind << ": " << checked << " segments, " << failures.size()
            << " off the curve\n";
        for (const auto& f : failures)
            out << "  - " << f.detail << "\n";
        failing += failures.empty() ? 0 : 1;
    }
    CoUninitialize();
    if (!options.report.empty())
        std::ofstream(options.report) << out.str();
    std::cout << out.str();
    return failing == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "envelope_sweep: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--seed")
            options.seed = std::strtoull(value().c_str(), nullptr, 10);
        else if (a == "--n")
            options.n = std::atoi(value().c_str());
        else if (a == "--jobs")
            options.jobs = std::max(1, std::atoi(value().c_str()));
        else if (a == "--timeout")
            options.timeout = std::atof(value().c_str());
        else if (a == "--report")
            options.report = value();
        else if (a == "--digests")
            options.digests = value();
        else if (a == "--only")
            options.only = std::atoi(value().c_str());
        else if (a == "--special")
            options.special = true;
        else if (a == "--chords")
            options.chords = true;
        else if (a == "--feed")
            options.feed = value();
        else if (a == "--eos")
            options.srk = value() == "SRK";
        else if (a == "--kij")
            options.zeroKij = value() == "zero";
        else {
            std::cerr << "usage: envelope_sweep [--seed S] [--n N] [--jobs J] [--timeout SECONDS] "
                         "[--report FILE] [--digests FILE] [--only K] [--special] [--chords]\n"
                         "       envelope_sweep --feed SPEC [--eos SRK] [--kij zero]\n";
            return 2;
        }
    }
    if (options.special)
        return RunSpecialPoints(options);
    if (options.chords)
        return RunChords(options);
    if (!options.feed.empty()) {
        const sweep::SweepFeed feed = ParseFeed(options);
        std::cout << "phase-envelope " << feed.Arguments() << "\n";
        CoInitialize(nullptr);
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        CoUninitialize();
        for (const auto& f : r.failures)
            std::cout << f.check << ": " << f.detail << "\n";
        return r.failures.empty() ? 0 : 1;
    }
    const std::vector<sweep::SweepFeed> feeds = sweep::GenerateFeeds(options.seed, options.n);
    if (options.only > 0 && options.only <= static_cast<int>(feeds.size())) {
        const sweep::SweepFeed& feed = feeds[static_cast<size_t>(options.only - 1)];
        std::cout << "phase-envelope " << feed.Arguments() << "\n";
        CoInitialize(nullptr);
        const sweep::FeedReport r = sweep::CheckFeed(feed);
        CoUninitialize();
        for (const auto& f : r.failures)
            std::cout << f.check << ": " << f.detail << "\n";
        return r.failures.empty() ? 0 : 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::vector<Outcome> outcomes = RunAll(feeds, options);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string text = Report(feeds, outcomes, options, seconds);
    if (!options.digests.empty()) {
        std::ofstream digests(options.digests);
        for (size_t k = 0; k < outcomes.size(); ++k) {
            const sweep::FeedReport& r = outcomes[k].report;
            char line[96];
            std::snprintf(line, sizeof(line), "%zu %016llx %ld %d\n", k + 1,
                          static_cast<unsigned long long>(r.digest), r.hostCalls, r.rows);
            digests << line;
        }
    }
    if (options.report.empty()) {
        std::cout << text;
    } else {
        std::ofstream(options.report) << text;
        std::cout << text.substr(0, text.find("## Failing feeds"));
    }
    return 0;
}
