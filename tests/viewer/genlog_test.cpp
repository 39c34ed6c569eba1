// The cell log generator: the log's form, the physics of its simulations,
// and that the viewer reads what it writes.
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

}  // namespace
