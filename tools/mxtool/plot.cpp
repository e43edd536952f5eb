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
#include <cstdlib>
#include <filesystem>

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
    const std::string size = std::to_string(chart.width) + "," + std::to_string(chart.height);
    if (terminal == "svg") {
        s += "set terminal svg size " + size +
             " dynamic enhanced font 'sans,12' background '#ffffff'\n";
    } else {
        s += "set terminal pngcairo size " + size + " enhanced font 'sans,10'\n";
    }
    s += "set output " + quote(output) + "\n";
    s += "set title " + quote(chart.title) + " noenhanced\n";
    s += "set xlabel " + quote(chart.xLabel) + " noenhanced\n";
    s += "set ylabel " + quote(chart.yLabel) + " noenhanced\n";
    s += chart.keyBelow ? "set grid\nset key below box noenhanced\n"
                        : "set grid\nset key outside right top box noenhanced\n";
    s += "set datafile missing 'NaN'\n";
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

namespace {

// Whether a program named gnuplot is in one of the PATH's folders. Checked
// before starting it, because a shell that cannot find a program says so in
// its own words and with its own status (127 here, 1 from cmd.exe).
bool gnuplotOnPath() {
#ifdef _WIN32
    const char separator = ';';
    const char* names[] = {"gnuplot.exe", "gnuplot.com"};
#else
    const char separator = ':';
    const char* names[] = {"gnuplot"};
#endif
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string folders = path;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(separator, start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        for (const char* name : names) {
            std::error_code error;
            if (!folder.empty() &&
                std::filesystem::is_regular_file(std::filesystem::path(folder) / name, error))
                return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

void runGnuplot(const std::string& script, const std::string& what, bool quiet) {
    if (!gnuplotOnPath()) {
        throw ToolError(
            "gnuplot is not on the PATH, and " + what +
            " needs it: install it (Debian or Ubuntu: apt-get install gnuplot-nox; Windows: "
            "the installer from gnuplot.info, then add its bin folder to PATH) and run again");
    }
#ifdef _WIN32
    const char* command = quiet ? "gnuplot 2>NUL" : "gnuplot";
#else
    const char* command = quiet ? "gnuplot 2>/dev/null" : "gnuplot";
#endif
    FILE* gnuplot = popen(command, "w");
    if (gnuplot == nullptr) throw ToolError("cannot start gnuplot");
    std::fwrite(script.data(), 1, script.size(), gnuplot);
    const int status = pclose(gnuplot);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw ToolError("gnuplot failed to draw " + what);
}

void drawChart(const Chart& chart, const std::string& base) {
    for (const char* terminal : {"pngcairo", "svg"}) {
        const std::string output = base + (std::string(terminal) == "svg" ? ".svg" : ".png");
        runGnuplot(gnuplotScript(chart, terminal, output), output);
    }
}

}  // namespace mx::tool
