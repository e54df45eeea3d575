#include "curve/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fanbench::curve {

namespace {

constexpr double kWidth = 720, kHeight = 440;
constexpr double kLeft = 70, kRight = 190, kTop = 30, kBottom = 50;
const char* const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf"};

std::string escapeXml(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A round step giving about five ticks up to `top`.
double niceStep(double top) {
    const double raw = top / 5;
    const double magnitude = std::pow(10, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        if (raw <= m * magnitude) return m * magnitude;
    }
    return 10 * magnitude;
}

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

}  // namespace

std::string renderSvg(const PlotInput& input) {
    double top = 0;
    auto consider = [&top](const SweepTable& t, double extra) {
        for (const Row& r : t.rows) top = std::max(top, static_cast<double>(r.rpm) + extra);
    };
    for (const SweepTable& t : input.tables) consider(t, 0);
    if (input.reference) {
        for (const Row& r : input.reference->rows) {
            const double rpm = static_cast<double>(r.rpm);
            top = std::max(top, rpm + input.tolerance.allowedFor(rpm));
        }
    }
    if (top <= 0) top = 1;
    const double step = niceStep(top);
    top = std::ceil(top / step) * step;

    const double plotW = kWidth - kLeft - kRight;
    const double plotH = kHeight - kTop - kBottom;
    auto px = [&](double duty) { return kLeft + duty / 100.0 * plotW; };
    auto py = [&](double rpm) { return kTop + plotH - rpm / top * plotH; };

    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << kHeight << "\" viewBox=\"0 0 " << kWidth << ' ' << kHeight
        << "\" font-family=\"sans-serif\" font-size=\"12\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";

    svg << "<g class=\"grid\" stroke=\"#dddddd\" stroke-width=\"1\">\n";
    for (int d = 0; d <= 100; d += 10) {
        svg << "<line x1=\"" << num(px(d)) << "\" y1=\"" << num(py(0)) << "\" x2=\"" << num(px(d))
            << "\" y2=\"" << num(py(top)) << "\"/>\n";
    }
    for (double r = 0; r <= top + step / 2; r += step) {
        svg << "<line x1=\"" << num(px(0)) << "\" y1=\"" << num(py(r)) << "\" x2=\"" << num(px(100))
            << "\" y2=\"" << num(py(r)) << "\"/>\n";
    }
    svg << "</g>\n";

    if (input.reference) {
        std::map<int, double> ref;
        for (const Row& r : input.reference->rows) ref[r.duty] = static_cast<double>(r.rpm);
        std::string upper, lower;
        for (const auto& [duty, rpm] : ref) {
            upper += num(px(duty)) + "," + num(py(rpm + input.tolerance.allowedFor(rpm))) + " ";
        }
        for (auto it = ref.rbegin(); it != ref.rend(); ++it) {
            lower += num(px(it->first)) + "," +
                     num(py(std::max(0.0, it->second - input.tolerance.allowedFor(it->second)))) +
                     " ";
        }
        svg << "<polygon class=\"reference-band\" fill=\"#999999\" fill-opacity=\"0.25\" "
               "stroke=\"none\" points=\""
            << upper << lower << "\"/>\n";
    }

    svg << "<g class=\"axes\" stroke=\"black\" stroke-width=\"1.5\" fill=\"none\">\n"
        << "<line x1=\"" << num(px(0)) << "\" y1=\"" << num(py(0)) << "\" x2=\"" << num(px(100))
        << "\" y2=\"" << num(py(0)) << "\"/>\n"
        << "<line x1=\"" << num(px(0)) << "\" y1=\"" << num(py(0)) << "\" x2=\"" << num(px(0))
        << "\" y2=\"" << num(py(top)) << "\"/>\n</g>\n";
    svg << "<g class=\"ticks\">\n";
    for (int d = 0; d <= 100; d += 10) {
        svg << "<text x=\"" << num(px(d)) << "\" y=\"" << num(py(0) + 18)
            << "\" text-anchor=\"middle\">" << d << "</text>\n";
    }
    for (double r = 0; r <= top + step / 2; r += step) {
        svg << "<text x=\"" << num(px(0) - 8) << "\" y=\"" << num(py(r) + 4)
            << "\" text-anchor=\"end\">" << static_cast<long long>(r) << "</text>\n";
    }
    svg << "</g>\n"
        << "<text x=\"" << num(px(50)) << "\" y=\"" << num(kHeight - 10)
        << "\" text-anchor=\"middle\">Duty (%)</text>\n"
        << "<text transform=\"translate(18," << num(py(top / 2))
        << ") rotate(-90)\" text-anchor=\"middle\">Speed (rpm)</text>\n";

    for (std::size_t i = 0; i < input.tables.size(); ++i) {
        const SweepTable& t = input.tables[i];
        const char* colour = kColours[i % std::size(kColours)];
        std::string points;
        for (const Row& r : t.rows)
            points += num(px(r.duty)) + "," + num(py(static_cast<double>(r.rpm))) + " ";
        svg << "<g class=\"series\">\n<polyline fill=\"none\" stroke=\"" << colour
            << "\" stroke-width=\"2\" points=\"" << points << "\"/>\n";
        for (const Row& r : t.rows) {
            svg << "<circle class=\"point\" cx=\"" << num(px(r.duty)) << "\" cy=\""
                << num(py(static_cast<double>(r.rpm))) << "\" r=\"3\" fill=\"" << colour
                << "\"/>\n";
        }
        svg << "</g>\n";
        const double ly = kTop + 10 + 20.0 * static_cast<double>(i);
        svg << "<line x1=\"" << num(kWidth - kRight + 15) << "\" y1=\"" << num(ly) << "\" x2=\""
            << num(kWidth - kRight + 40) << "\" y2=\"" << num(ly) << "\" stroke=\"" << colour
            << "\" stroke-width=\"2\"/>\n<text class=\"legend\" x=\"" << num(kWidth - kRight + 45)
            << "\" y=\"" << num(ly + 4) << "\">" << escapeXml(t.name) << "</text>\n";
    }
    if (input.reference) {
        const double ly = kTop + 10 + 20.0 * static_cast<double>(input.tables.size());
        svg << "<rect x=\"" << num(kWidth - kRight + 15) << "\" y=\"" << num(ly - 5)
            << "\" width=\"25\" height=\"10\" fill=\"#999999\" fill-opacity=\"0.25\"/>\n"
            << "<text class=\"legend\" x=\"" << num(kWidth - kRight + 45) << "\" y=\""
            << num(ly + 4) << "\">" << escapeXml(input.reference->name) << " (band)</text>\n";
    }
    svg << "</svg>\n";
    return svg.str();
}

bool writeFileAtomically(const std::string& path, const std::string& content) {
    namespace fs = std::filesystem;
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        out.flush();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return false;
    }
    return true;
}

}  // namespace fanbench::curve
