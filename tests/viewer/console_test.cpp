// The program run as a process, headless, keys on standard input: its
// console output byte for byte and its exit status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"

namespace {

using viewer_test::Launch;
using viewer_test::Outcome;
using viewer_test::ScratchDir;

const std::string kExe = PELMORIX_EXE;

// A headless run in `dir`, with `keys` as the typed characters and a
// snapshot path that tells whether a window was ever waited on.
Outcome run_headless(const ScratchDir& dir, std::vector<std::string> args, const std::string& keys = "") {
    Launch launch;
    launch.args = std::move(args);
    launch.env["PELMORIX_DISPLAY"] = "headless";
    launch.env["PELMORIX_SNAPSHOT"] = dir.file("window.png");
    launch.cwd = dir.path();
    launch.input = keys;
    return viewer_test::run(kExe, launch);
}

std::string echo(const std::string& file, const std::string& min_x, const std::string& min_y, const std::string& max_x,
                 const std::string& max_y) {
    return "Archivo skv: " + file + "\nMinimo(x)=" + min_x + " Minimo(y)=" + min_y + "\nMaximo(x)=" + max_x +
           " Maximo(y)=" + max_y + "\n";
}

std::string file_error(const std::string& file) { return "Error. Archivo vacio o con formato erroneo: " + file + "\n"; }

const char kInconsistent[] = "Error. Minimos y maximos inconsistentes. Un minimo no puede ser mayor que un maximo...\n";

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (std::string::size_type nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    lines.push_back(text.substr(start));  // after the last line end: empty when the text ends in one
    return lines;
}

TEST(Usage, FewerThanFiveArgumentsPrintTheBanner) {
    const std::vector<std::string> expected = {
        "--------------------------------------------------------------",
        "Programa para mostrar la funcion de cada celda de la salida de skervan",
        "de una simulaicon con Vorq. Soporta archivos de hasta 400 columnas",
        "por infinitas filas. Las salidas de Skervan deben ser con parametro",
        "-fn para que quede sin lineas ni textos informativos.",
        "(credit line)",
        "--------------------------------------------------------------",
        "",
        "",
        "No se especificarn archivos. ",
        "Sintaxis: Pelmorix file.skv minimox minimoy maximox maximoy",
        "Ejemplo:> Pelmorix file.skv 0 -10.5 650.2 22",
        "Donde 0 es el minimo valor que toma el eje x, -10 el minimo del eje y, ",
        "650.2 el maximo del eje x, 22 el maximo del eje y",
        "",
    };
    const std::vector<std::vector<std::string>> argument_lists = {
        {},                                // none
        {"file.skv"},                      // the file alone
        {"file.skv", "0", "-10.5", "650.2"},  // one limit short
    };
    for (const auto& args : argument_lists) {
        ScratchDir dir;
        const Outcome r = run_headless(dir, args);
        EXPECT_EQ(r.status, 0) << args.size() << " arguments";
        EXPECT_EQ(r.err, "");
        std::vector<std::string> got = lines_of(r.out);
        ASSERT_EQ(got.size(), expected.size()) << r.out;
        EXPECT_FALSE(got[5].empty()) << "credit line";
        got[5] = "(credit line)";
        EXPECT_EQ(got, expected) << args.size() << " arguments";
        EXPECT_FALSE(viewer_test::file_exists(dir.file("window.png"))) << "no window for the banner";
    }
}

TEST(Arguments, EchoLimitsAsConvertedInTheDefaultDoubleFormat) {
    struct Case {
        const char* what;
        std::vector<std::string> limits;
        std::vector<std::string> printed;
    } cases[] = {
        {"the banner's example", {"0", "-10.5", "650.2", "22"}, {"0", "-10.5", "650.2", "22"}},
        {"text without a number is 0", {"abc", "-1", "0", "1"}, {"0", "-1", "0", "1"}},
        {"a sign with no number after it is 0, not -0", {"-", "--1", "-x", "+"}, {"0", "0", "0", "0"}},
        {"trailing text after a number is ignored", {"12abc", "0", "13", "1"}, {"12", "0", "13", "1"}},
        {"six significant digits", {"0.1234567", "-1e-7", "123456789", "1e3"}, {"0.123457", "-1e-07", "1.23457e+08", "1000"}},
        {"leading white space and sign", {" 7", "-0", "+8", " 0"}, {"7", "-0", "8", "0"}},
        {"hexadecimal, infinity and nan are no decimal numbers", {"0x10", "-inf", "0x1p5", "nan"}, {"0", "0", "0", "0"}},
        {"a sign before them leaves 0, and -0 where a 0 follows it", {"-nan", "-NAN(1)", "-Infinity", "-0x5"}, {"0", "0", "0", "-0"}},
        {"exponents taken only with digits, points without digits on one side", {"5e", ".5", "1e5x", "\t+.5e1"}, {"5", "0.5", "100000", "5"}},
        {"beyond a double's range", {"-1e400", "0", "1e400", "1"}, {"-inf", "0", "inf", "1"}},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        std::vector<std::string> args = {"file.skv"};
        args.insert(args.end(), c.limits.begin(), c.limits.end());
        const Outcome r = run_headless(dir, args);
        // The file does not exist: the run goes on to the reader, which says so.
        EXPECT_EQ(r.out, echo("file.skv", c.printed[0], c.printed[1], c.printed[2], c.printed[3]) + file_error("file.skv"))
            << c.what;
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.err, "") << c.what;
    }
}

TEST(Arguments, ArgumentsAfterTheFifthAreIgnored) {
    ScratchDir dir;
    const Outcome r = run_headless(dir, {"file.skv", "0", "-10.5", "650.2", "22", "9", "extra"});
    EXPECT_EQ(r.out, echo("file.skv", "0", "-10.5", "650.2", "22") + file_error("file.skv"));
    EXPECT_EQ(r.status, 0);
}

TEST(Arguments, AMinimumAboveItsMaximumStopsBeforeTheFileIsOpened) {
    struct Case {
        const char* what;
        std::vector<std::string> limits;
        bool rejected;
    } cases[] = {
        {"x minimum above x maximum", {"5", "0", "1", "1"}, true},
        {"y minimum above y maximum", {"0", "5", "1", "1"}, true},
        {"both", {"5", "5", "1", "1"}, true},
        {"x minimum equal to x maximum passes", {"1", "0", "1", "1"}, false},
        {"y minimum equal to y maximum passes", {"0", "1", "1", "1"}, false},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        // A good log: had it been opened, a window would have waited for a key.
        dir.write("good.skv", "heading\n1 2\n3 4\n");
        std::vector<std::string> args = {"good.skv"};
        args.insert(args.end(), c.limits.begin(), c.limits.end());
        const Outcome r = run_headless(dir, args, "x");
        const std::string head = echo("good.skv", c.limits[0], c.limits[1], c.limits[2], c.limits[3]);
        if (c.rejected) {
            EXPECT_EQ(r.out, head + kInconsistent) << c.what;
            EXPECT_FALSE(viewer_test::file_exists(dir.file("window.png"))) << c.what << ": no window";
        } else {
            EXPECT_EQ(r.out, head + "Dimension detectada del modelo: 2 x 2\n") << c.what;
            EXPECT_TRUE(viewer_test::file_exists(dir.file("window.png"))) << c.what << ": the window waited";
        }
        EXPECT_EQ(r.status, 0) << c.what;
    }
}

TEST(CellLogErrors, EveryProblemWithTheFileGivesOneMessageAndNoWindow) {
    struct Case {
        const char* what;
        const char* bytes;  // null: no such file
        std::size_t size;
    } cases[] = {
        {"missing file", nullptr, 0},
        {"empty file", "", 0},
        {"one line without a line end", "heading", 7},
        {"one line with a line end", "heading\n", 8},
        {"second line is the last and has no line end", "heading\n1 2", 11},
        {"empty second line", "heading\n\n1 2\n", 13},
        {"second line of carriage returns only", "heading\r\n\r\r\n1 2\r\n", 17},
        {"0x1A before the second line", "heading\n\x1A" "1 2\n", 13},
        {"0x1A ends the heading", "head\x1A" "ing\n1 2\n", 13},
        // The line is measured as a string: a NUL first makes it empty.
        {"second line starting with a NUL", "heading\n\0 1 2\n", 15},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        if (c.bytes != nullptr) dir.write("log.skv", std::string(c.bytes, c.size));
        const Outcome r = run_headless(dir, {"log.skv", "0", "0", "1", "1"}, "x");
        EXPECT_EQ(r.out, echo("log.skv", "0", "0", "1", "1") + file_error("log.skv")) << c.what;
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.err, "") << c.what;
        EXPECT_FALSE(viewer_test::file_exists(dir.file("window.png"))) << c.what << ": no window";
        // pelmorix-scan refuses it alike, with the viewer's message, and says so in its status.
        Launch scan;
        scan.args = {"log.skv"};
        scan.cwd = dir.path();
        const Outcome s = viewer_test::run(PELMORIX_SCAN, scan);
        EXPECT_EQ(s.out, file_error("log.skv")) << c.what << ": pelmorix-scan";
        EXPECT_EQ(s.status, 1) << c.what << ": pelmorix-scan";
        EXPECT_EQ(s.err, "") << c.what << ": pelmorix-scan";
    }
}

TEST(CellLogErrors, AFolderIsNoCellLog) {
    ScratchDir dir;
    const Outcome r = run_headless(dir, {".", "0", "0", "1", "1"}, "x");
    EXPECT_EQ(r.out, echo(".", "0", "0", "1", "1") + file_error("."));
    EXPECT_EQ(r.status, 0);
}

// A log of `rows` rows of `columns` values each, one block.
std::string block(int rows, int columns) {
    std::string s;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) s += (c > 0 ? " " : "") + std::to_string(r * columns + c);
        s += "\n";
    }
    return s;
}

TEST(PlotLoop, ConsoleOutputFollowsTheReadRules) {
    const std::string long_tail = "5" + std::string(9997, ' ') + "6";   // 9999 characters: two values
    const std::string too_long = "5" + std::string(9998, ' ') + "6 7";  // 10002: the 6 and 7 are cut off
    struct Case {
        const char* what;
        std::string bytes;
        std::string printed;  // after the echo
    } cases[] = {
        {"worked example", "heading\n1 2\n3 4\n\n5 6\n7 8\n", "Dimension detectada del modelo: 2 x 2\n"},
        {"one block ending in a line end", "h\n1 2 3\n4 5 6\n", "Dimension detectada del modelo: 3 x 2\n"},
        {"one block ending in a blank line", "h\n1 2 3\n4 5 6\n\n", "Dimension detectada del modelo: 3 x 2\n"},
        {"last row without a line end is not a row", "h\n1 2 3\n4 5 6", ""},
        {"CR LF line ends", "h\r\n1 2\r\n3 4\r\n\r\n5 6\r\n", "Dimension detectada del modelo: 2 x 2\n"},
        {"0x1A ends the file inside a row", "h\n1 2\n3 4\n5 6\x1A\n\n7 8\n", ""},
        {"0x1A ends the file after a line end", "h\n1 2\n3 4\n\x1A\n9 9 9\n", "Dimension detectada del modelo: 2 x 2\n"},
        {"tab-separated values are one token", "h\n1\t2\t3\n4\t5\t6\n\n", "Dimension detectada del modelo: 1 x 2\n"},
        {"a word among numbers takes a column", "h\n1 abc 3\n4 5 6\n\n", "Dimension detectada del modelo: 3 x 2\n"},
        {"blanks around values and a blank line of blanks", "h\n  1   2 \n3 4\n    \n5 6 7\n",
         "Dimension detectada del modelo: 2 x 2\n"},
        {"the last row of the first block gives the count", "h\n1 2 3\n4 5\n\n1 2 3 4 5\n1\n2\n\n",
         "Dimension detectada del modelo: 2 x 2\n"},
        {"only the first block is reported", "h\n" + block(3, 3) + "\n" + block(5, 2) + "\n" + block(1, 1),
         "Dimension detectada del modelo: 3 x 3\n"},
        // (In a later row: a first row of 400 values would make a 400 x 400
        // grid, whose drawing alone takes seconds.)
        {"values after the 400th are ignored", "h\n1 2\n" + block(1, 450) + "\n", "Dimension detectada del modelo: 400 x 2\n"},
        {"a line of exactly 9999 characters", "h\n1 2 3\n" + long_tail + "\n\n", "Dimension detectada del modelo: 2 x 2\n"},
        {"a longer line keeps its first 9999 characters", "h\n1 2 3\n" + too_long + "\n\n9 9\n",
         "Dimension detectada del modelo: 1 x 2\n"},
        {"second line of blanks only is a row without values", "h\n   \n1 2\n\n", "Dimension detectada del modelo: 2 x 2\n"},
        {"two blank lines in a row: the second is a row without values", "h\n1 2\n3 4\n\n\n5 6\n7 8\n",
         "Dimension detectada del modelo: 2 x 2\n"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        dir.write("log.skv", c.bytes);
        const Outcome r = run_headless(dir, {"log.skv", "0", "0", "1", "1"}, "x");
        EXPECT_EQ(r.out, echo("log.skv", "0", "0", "1", "1") + c.printed) << c.what;
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.err, "") << c.what;
        EXPECT_TRUE(viewer_test::file_exists(dir.file("window.png"))) << c.what << ": the window waited";
    }
}

TEST(FinalKey, EscEndsWithStatus1AnyOtherKeyWith0) {
    struct Case {
        const char* what;
        std::string keys;
        int status;
    } cases[] = {
        {"a letter", "a", 0},
        {"Esc", "\x1b", 1},
        {"Enter", "\n", 0},
        {"only the first key counts", "a\x1b", 0},
        {"a 0 byte takes the next byte with it, Esc too", std::string("\0\x1b", 2), 0},
        {"a 0 byte and a letter", std::string("\0a", 2), 0},
        // The end of standard input is the window being closed.
        {"window closed at the prompt ends as Esc does", "", 1},
        // The byte after a 0 is discarded whatever it is, the close included.
        {"window closed after a 0 byte", std::string("\0", 1), 0},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        dir.write("log.skv", "heading\n1 2\n3 4\n\n5 6\n7 8\n");
        const Outcome r = run_headless(dir, {"log.skv", "0", "0", "1", "10"}, c.keys);
        EXPECT_FALSE(r.timed_out) << c.what;
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.out, echo("log.skv", "0", "0", "1", "10") + "Dimension detectada del modelo: 2 x 2\n") << c.what;
        EXPECT_EQ(r.err, "") << c.what;
    }
}

TEST(ViewerStartUp, AFailureIsReportedWithTheSystemTextAndStatus1) {
    ScratchDir dir;
    dir.write("log.skv", "heading\n1 2\n3 4\n");
    Launch launch;
    launch.args = {"log.skv", "0", "0", "1", "1"};
    // A real window asked for with no display to put it on.
    launch.env["PELMORIX_DISPLAY"] = "window";
    launch.env["DISPLAY"] = std::nullopt;
    launch.env["WAYLAND_DISPLAY"] = std::nullopt;
    launch.env["SDL_VIDEODRIVER"] = std::nullopt;
    launch.env["PELMORIX_SNAPSHOT"] = dir.file("window.png");
    launch.cwd = dir.path();
    launch.input = "a";
    const Outcome r = viewer_test::run(kExe, launch);
    // The system's text ends in CR LF of its own; the format adds a newline.
    EXPECT_EQ(r.out, echo("log.skv", "0", "0", "1", "1") + " Graphics System Error: The device is not connected.\r\n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(viewer_test::file_exists(dir.file("window.png")));
}

}  // namespace
