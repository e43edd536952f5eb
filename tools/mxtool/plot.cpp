#include "mxtool/plot.h"

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#define WIFEXITED(status) true
#define WEXITSTATUS(status) (status)
#else
#include <sys/wait.h>
#endif
#include <cmath>
#include <cstdio>

#include "mxtool/io.h"

namespace mx::tool {

namespace {

// gnuplot string literal: single quotes, with '' for a quote.
std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

std::string number(double v) {
    if (!std::isfinite(v)) return "NaN";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

}  // namespace

std::string gnuplotScript(const Chart& chart, const std::string& terminal,
                          const std::string& output) {
    std::string s;
    s += "set encoding utf8\n";
    if (terminal == "svg") {
        s += "set terminal svg size 800,500 dynamic enhanced font 'sans,12' background '#ffffff'\n";
    } else {
        s += "set terminal pngcairo size 800,500 enhanced font 'sans,10'\n";
    }
    s += "set output " + quote(output) + "\n";
    s += "set title " + quote(chart.title) + " noenhanced\n";
    s += "set xlabel " + quote(chart.xLabel) + " noenhanced\n";
    s += "set ylabel " + quote(chart.yLabel) + " noenhanced\n";
    s += "set grid\nset key outside right top box noenhanced\nset datafile missing 'NaN'\n";
    for (size_t c = 0; c < chart.curves.size(); ++c) {
        s += "$curve" + std::to_string(c) + " << EOD\n";
        const Curve& curve = chart.curves[c];
        for (size_t i = 0; i < curve.x.size(); ++i)
            s += number(curve.x[i]) + " " + number(curve.y[i]) + "\n";
        s += "EOD\n";
    }
    s += "plot ";
    for (size_t c = 0; c < chart.curves.size(); ++c) {
        s += std::string(c ? ", " : "") + "$curve" + std::to_string(c) +
             " using 1:2 with linespoints lw 2 pt 7 ps 0.6 title " + quote(chart.curves[c].title);
    }
    s += "\nunset output\n";
    return s;
}

void drawChart(const Chart& chart, const std::string& base) {
    for (const char* terminal : {"pngcairo", "svg"}) {
        const std::string output = base + (std::string(terminal) == "svg" ? ".svg" : ".png");
        const std::string script = gnuplotScript(chart, terminal, output);
        FILE* gnuplot = popen("gnuplot", "w");
        if (gnuplot == nullptr) throw ToolError("cannot start gnuplot");
        std::fwrite(script.data(), 1, script.size(), gnuplot);
        const int status = pclose(gnuplot);
        if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            throw ToolError(WIFEXITED(status) && WEXITSTATUS(status) == 127
                                ? "gnuplot not found; install it (apt-get install gnuplot-nox)"
                                : "gnuplot failed to draw " + output);
        }
    }
}

}  // namespace mx::tool
