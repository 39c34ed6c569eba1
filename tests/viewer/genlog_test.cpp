// The companion programs: the cell log generator (the log's form, the
// physics of its simulations, and that the viewer reads what it writes), and
// pelmorix-scan (the figures it prints of a log).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support.h"

namespace {

using viewer_test::Launch;
using viewer_test::Outcome;
using viewer_test::ScratchDir;

const std::string kGenlog = PELMORIX_GENLOG;
const std::string kScan = PELMORIX_SCAN;

// The log split into its heading and time blocks of rows of tokens; fails
// the test when the form is wrong.
struct Log {
    std::string heading;
    std::vector<std::vector<std::vector<std::string>>> blocks;
};

Log parse_log(const std::string& text) {
    Log log;
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (std::string::size_type nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    EXPECT_EQ(start, text.size()) << "the log ends in a line end";
    if (lines.empty()) return log;
    log.heading = lines[0];
    log.blocks.emplace_back();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) {
            EXPECT_FALSE(log.blocks.back().empty()) << "one blank line between blocks, line " << i + 1;
            log.blocks.emplace_back();
            continue;
        }
        std::vector<std::string> tokens;
        std::string::size_type p = 0;
        for (;;) {
            const auto blank = lines[i].find(' ', p);
            tokens.push_back(lines[i].substr(p, blank - p));
            if (blank == std::string::npos) break;
            p = blank + 1;
        }
        log.blocks.back().push_back(tokens);
    }
    EXPECT_FALSE(log.blocks.back().empty()) << "no blank line after the last block";
    return log;
}

std::string generate(const std::vector<std::string>& args, int* status = nullptr) {
    Launch launch;
    launch.args = args;
    const Outcome r = viewer_test::run(kGenlog, launch);
    if (status != nullptr) *status = r.status;
    else EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

TEST(Genlog, WritesBlocksOfRowsWithSixSignificantDigits) {
    for (const char* model : {"diffusion", "gray-scott", "brusselator"}) {
        const Log log = parse_log(generate({"--model", model, "--size", "5", "--steps", "40", "--every", "3"}));
        SCOPED_TRACE(model);
        EXPECT_FALSE(log.heading.empty());
        ASSERT_EQ(log.blocks.size(), 40u);
        for (const auto& block : log.blocks) {
            ASSERT_EQ(block.size(), 5u);
            for (const auto& row : block) {
                ASSERT_EQ(row.size(), 5u);
                for (const std::string& token : row) {
                    // Each value reads back as a number and is written as %.6g writes it.
                    char* end = nullptr;
                    const double v = std::strtod(token.c_str(), &end);
                    ASSERT_EQ(*end, '\0') << token;
                    ASSERT_TRUE(std::isfinite(v)) << token;
                    char again[64];
                    std::snprintf(again, sizeof again, "%.6g", v);
                    ASSERT_EQ(token, again);
                }
            }
        }
    }
}

double block_sum(const std::vector<std::vector<std::string>>& block) {
    double sum = 0;
    for (const auto& row : block)
        for (const std::string& token : row) sum += std::strtod(token.c_str(), nullptr);
    return sum;
}

TEST(Genlog, DiffusionKeepsItsHeatAndSpreadsIt) {
    // An insulated plate: the total stays what it was, while the hot corner
    // cools and the far corner warms.
    const Log log = parse_log(generate({"--model", "diffusion", "--size", "9", "--steps", "200"}));
    ASSERT_EQ(log.blocks.size(), 200u);
    const double start = block_sum(log.blocks.front());
    EXPECT_GT(start, 0);
    // Each of the 81 values is rounded to 6 digits: at most 5e-7 off each.
    for (const auto& block : log.blocks) EXPECT_NEAR(block_sum(block), start, 81 * 1e-6);
    const auto& first = log.blocks.front();
    const auto& last = log.blocks.back();
    EXPECT_LT(std::strtod(last[0][0].c_str(), nullptr), std::strtod(first[0][0].c_str(), nullptr));
    EXPECT_GT(std::strtod(last[8][8].c_str(), nullptr), std::strtod(first[8][8].c_str(), nullptr));
}

TEST(Genlog, EveryKthStepIsWrittenAsOneBlock) {
    // Block b of a run with --every 4 is the state after 4 b steps, the same
    // as block 4 b of a run that writes every step.
    const Log every_step = parse_log(generate({"--model", "brusselator", "--size", "4", "--steps", "13"}));
    const Log every_fourth = parse_log(generate({"--model", "brusselator", "--size", "4", "--steps", "4", "--every", "4"}));
    ASSERT_EQ(every_step.blocks.size(), 13u);
    ASSERT_EQ(every_fourth.blocks.size(), 4u);
    for (int b = 0; b < 4; ++b) EXPECT_EQ(every_fourth.blocks[b], every_step.blocks[4 * b]) << "block " << b;
    // And the oscillators do move.
    EXPECT_NE(every_step.blocks[0], every_step.blocks[12]);
}

TEST(Genlog, RejectsWhatItDoesNotUnderstand) {
    const std::vector<std::vector<std::string>> bad = {
        {"--model", "lattice-gas"},  // unknown model
        {"--size", "0"},             // no cells
        {"--steps", "ten"},          // not a number
        {"--colour", "red"},         // unknown option
    };
    for (const auto& args : bad) {
        int status = 0;
        const std::string out = generate(args, &status);
        EXPECT_EQ(status, 2) << args[0];
        EXPECT_EQ(out, "") << args[0];
    }
}

TEST(Genlog, TheViewerReadsItsLogs) {
    ScratchDir dir;
    int status = 0;
    Launch make;
    make.args = {"--model", "gray-scott", "--size", "7", "--steps", "30", "--output", dir.file("gs.skv")};
    status = viewer_test::run(kGenlog, make).status;
    ASSERT_EQ(status, 0);
    Launch view;
    view.args = {"gs.skv", "0", "0", "0.75", "0.6"};
    view.env["PELMORIX_DISPLAY"] = "headless";
    view.cwd = dir.path();
    view.input = "a";
    const Outcome r = viewer_test::run(PELMORIX_EXE, view);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Dimension detectada del modelo: 7 x 7\n"), std::string::npos) << r.out;
}

// pelmorix-scan with `args`, in `dir`, `input` on its standard input.
Outcome scan(const ScratchDir& dir, std::vector<std::string> args, const std::string& input = "") {
    Launch launch;
    launch.args = std::move(args);
    launch.cwd = dir.path();
    launch.input = input;
    return viewer_test::run(kScan, launch);
}

// The report's line that begins with `label`.
std::string fact(const std::string& report, const std::string& label) {
    for (std::string::size_type start = 0, nl; (nl = report.find('\n', start)) != std::string::npos; start = nl + 1) {
        if (report.compare(start, label.size(), label) == 0) return report.substr(start, nl - start);
    }
    return "(no " + label + " line)";
}

TEST(Scan, PrintsTheFiguresOfTheLog) {
    const std::string negative = "h\n-1 -2.5\n-3 -0.5\n\n-4 -1\n-2 -3\n";
    const std::vector<std::string> negative_facts = {
        "grid:            2 x 2 boxes (the first row has 2 values)",
        "time blocks:     2, at times 0 to 0.025",
        "values:          8, from -4 to -0.5",
        "not numbers:     none",
        "irregular rows:  none",
        "long lines:      none",
        "long rows:       none",
        "last line:       ends with its line end",
    };
    std::string wide_row;
    for (int k = 0; k < 401; ++k) wide_row += k > 0 ? " 1" : "1";
    std::string damaged;
    for (int k = 0; k < 20000; ++k) damaged += std::to_string(k % 7) + " " + std::to_string(k % 11) + "\n";
    damaged = viewer_test::compress("gzip", "h\n" + damaged);
    damaged.resize(damaged.size() / 2);
    const struct {
        const char* what;
        std::string bytes;
        bool from_stdin;
        std::vector<std::string> facts;
    } cases[] = {
        {"negative values only", negative, false, negative_facts},
        {"gzip", viewer_test::compress("gzip", negative), false, negative_facts},
        {"standard input", negative, true, negative_facts},
        {"all values equal", "h\n3 3 3\n3 3 3\n3 3 3\n", false,
         {"time blocks:     1, at time 0", "values:          9, from 3 to 3"}},
        {"values of 1e-9", "h\n1e-9 2.5e-9\n3e-9 1.5e-9\n", false, {"values:          4, from 1e-09 to 3e-09"}},
        {"values of 1e9", "h\n1e9 -2e9\n5e8 7.5e8\n", false, {"values:          4, from -2e+09 to 1e+09"}},
        {"rows of irregular length", "h\n1 2 3\n4 5\n6 7 8 9\n\n1 2 3\n", false,
         {"values:          12, from 1 to 9",
          "irregular rows:  2 rows, the first on line 3 (a number of values not the first row's)"}},
        {"a last line without its line end", "h\n1 2\n3 4\n\n5 6\n7 80", false,
         {"time blocks:     2, at times 0 to 0.025", "values:          6, from 1 to 6",
          "last line:       line 6 has no line end: not drawn (2 values)"}},
        {"tokens without a number", "h\nabc 1 - +. .5 -0 x1 \t7 0x10 inf .0 \t0\n", false,
         {"values:          12, from 0 to 7", "not numbers:     5 tokens, the first on line 2 (read as 0)"}},
        {"a row of 401 values, then a line of 10002 characters",
         "h\n" + wide_row + "\n2" + std::string(10000, ' ') + "3\n", false,
         {"grid:            400 x 400 boxes (the first row has 400 values)",
          "long rows:       1 row, the first on line 2 (over 400 values: the rest is skipped)",
          "long lines:      1 line, the first on line 3 (over 9999 characters: the rest is skipped)",
          "irregular rows:  1 row, the first on line 3 (a number of values not the first row's)"}},
        {"damaged gzip", damaged, false, {"grid:            2 x 2 boxes (the first row has 2 values)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.bytes.empty()) << "the compressing tool did not run";
        ScratchDir dir;
        dir.write("log.skv", c.bytes);
        const std::string name = c.from_stdin ? "-" : "log.skv";
        const std::string input = c.from_stdin ? c.bytes : "";
        const Outcome r = scan(dir, {name}, input);
        const bool damage = std::string(c.what) == "damaged gzip";
        EXPECT_EQ(r.status, damage ? 1 : 0);
        EXPECT_EQ(r.err, damage ? "Error. Datos comprimidos danados o incompletos: log.skv\n" : "");
        EXPECT_EQ(fact(r.out, "log:"), "log:             " + std::string(c.from_stdin ? "standard input" : "log.skv"));
        for (const std::string& f : c.facts) EXPECT_EQ(fact(r.out, f.substr(0, 16)), f);
        // The command to plot it, with the limits --limits prints alone.
        const Outcome limits = scan(dir, {"--limits", name}, input);
        EXPECT_EQ(limits.status, r.status);
        ASSERT_FALSE(limits.out.empty());
        EXPECT_EQ(fact(r.out, "plot with:"), "plot with:       pelmorix " +
                                                 std::string(c.from_stdin ? "/dev/stdin" : "log.skv") + " " +
                                                 limits.out.substr(0, limits.out.size() - 1));
    }
}

TEST(Scan, RejectsWhatItDoesNotUnderstand) {
    const std::vector<std::vector<std::string>> bad = {
        {},                       // no log
        {"--colour", "log.skv"},  // unknown option
        {"a.skv", "b.skv"},       // two logs
    };
    ScratchDir dir;
    for (const auto& args : bad) {
        const Outcome r = scan(dir, args);
        const std::string what = args.empty() ? "nothing" : args[0];
        EXPECT_EQ(r.status, 2) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_NE(r.err.find("usage: pelmorix-scan"), std::string::npos) << what;
    }
}

}  // namespace
