#include "curve/fancurve.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "curve/curve_figures.h"
#include "curve/svg_plot.h"
#include "curve/sweep_table.h"

namespace fanbench::curve {

namespace {

constexpr const char* kUsage =
    "Usage: fancurve TABLE... [-o FILE.svg] [--reference TABLE] [--tolerance N%|Nrpm] [--json]\n";
constexpr const char* kHelp =
    "Reads duty/rpm tables written by Dutyramp (a file, or - for standard input).\n"
    "  -o FILE           write an SVG plot of the tables\n"
    "  --reference FILE  compare every duty with this table's speed\n"
    "  --tolerance T     band for the comparison and for dips: N% or Nrpm (default 10%)\n"
    "  --json            print the figures as one JSON object\n"
    "Exit status: 0 pass, 1 a row outside the band (or the plot could not be written),\n"
    "2 bad options or a malformed table.\n";

struct Options {
    std::vector<std::string> inputs;
    std::string svgPath;
    std::string referencePath;
    Tolerance tolerance;
    std::string toleranceText = "10%";
    bool json = false;
};

std::string optionalText(const std::optional<std::uint64_t>& v) {
    return v ? std::to_string(*v) : "-";
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

template <typename T>
std::string jsonOptional(const std::optional<T>& v) {
    if (!v) return "null";
    std::ostringstream s;
    s << *v;
    return s.str();
}

void printFigures(std::ostream& out, const SweepTable& t, const Figures& f) {
    out << t.name << "\n";
    out << "  rpm at 0 %: " << optionalText(f.rpmAt0) << "\n";
    out << "  rpm at 100 %: " << optionalText(f.rpmAt100) << "\n";
    out << "  highest rpm: " << f.maxRpm << "\n";
    out << "  lowest duty with speed: "
        << (f.lowestTurningDuty ? std::to_string(*f.lowestTurningDuty) + " %" : "none") << "\n";
    out << "  controllable range: " << f.controllableFrom << " % .. " << f.controllableTo << " %\n";
    char r2[32] = "-";
    if (f.linearity) std::snprintf(r2, sizeof r2, "%.4f", *f.linearity);
    out << "  linearity (R^2): " << r2 << "\n";
    out << "  dips:";
    if (f.dips.empty()) out << " none";
    for (const Dip& d : f.dips) {
        out << " " << d.fromDuty << "->" << d.toDuty << " % (" << d.fromRpm << "->" << d.toRpm
            << " rpm)";
    }
    out << "\n  repeated duties:";
    if (f.repeatedDuties.empty()) out << " none";
    for (int d : f.repeatedDuties) out << " " << d << " %";
    out << "\n";
}

std::string figuresJson(const SweepTable& t, const Figures& f) {
    std::ostringstream s;
    s << "{\"name\":" << jsonString(t.name) << ",\"rpm_at_0\":" << jsonOptional(f.rpmAt0)
      << ",\"rpm_at_100\":" << jsonOptional(f.rpmAt100) << ",\"max_rpm\":" << f.maxRpm
      << ",\"lowest_turning_duty\":" << jsonOptional(f.lowestTurningDuty)
      << ",\"controllable_range\":[" << f.controllableFrom << "," << f.controllableTo << "]"
      << ",\"linearity_r2\":" << jsonOptional(f.linearity) << ",\"dips\":[";
    for (std::size_t i = 0; i < f.dips.size(); ++i) {
        const Dip& d = f.dips[i];
        s << (i ? "," : "") << "{\"from_duty\":" << d.fromDuty << ",\"to_duty\":" << d.toDuty
          << ",\"from_rpm\":" << d.fromRpm << ",\"to_rpm\":" << d.toRpm << "}";
    }
    s << "],\"repeated_duties\":[";
    for (std::size_t i = 0; i < f.repeatedDuties.size(); ++i)
        s << (i ? "," : "") << f.repeatedDuties[i];
    s << "]}";
    return s.str();
}

void printDeviation(std::ostream& out, const Deviation& d) {
    out << "  duty " << d.duty << " %: ";
    if (!d.reference) {
        out << "measured " << *d.measured << ", missing from the reference\n";
    } else if (!d.measured) {
        out << "missing from the measured table (reference " << *d.reference << ")\n";
    } else {
        const long long diff =
            static_cast<long long>(*d.measured) - static_cast<long long>(*d.reference);
        out << "measured " << *d.measured << ", reference " << *d.reference << ", difference "
            << (diff > 0 ? "+" : "") << diff << "\n";
    }
}

std::optional<SweepTable> load(const std::string& name, std::istream& stdinStream,
                               std::ostream& err) {
    std::string error;
    std::optional<SweepTable> table;
    if (name == "-") {
        table = parseSweepTable(stdinStream, name, error);
    } else {
        std::ifstream file(name, std::ios::binary);
        if (!file) {
            err << "fancurve: cannot read " << name << "\n";
            return std::nullopt;
        }
        table = parseSweepTable(file, name, error);
    }
    if (!table) err << "fancurve: " << error << "\n";
    return table;
}

}  // namespace

int runFancurve(std::span<const char* const> args, std::istream& in, std::ostream& out,
                std::ostream& err) {
    Options o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string a = args[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= args.size()) return false;
            target = args[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            out << kUsage << kHelp;
            return kCurvePass;
        }
        bool ok = true;
        if (a == "-o") {
            ok = value(o.svgPath);
        } else if (a == "--reference") {
            ok = value(o.referencePath);
        } else if (a == "--tolerance") {
            ok = value(o.toleranceText);
            if (ok) {
                const auto t = parseTolerance(o.toleranceText);
                ok = t.has_value();
                if (t) o.tolerance = *t;
            }
        } else if (a == "--json") {
            o.json = true;
        } else if (a.size() > 1 && a[0] == '-') {
            ok = false;
        } else {
            o.inputs.push_back(a);
        }
        if (!ok) {
            err << "fancurve: bad option " << a << "\n" << kUsage;
            return kCurveUsage;
        }
    }
    if (o.inputs.empty()) {
        err << kUsage;
        return kCurveUsage;
    }

    std::vector<SweepTable> tables;
    for (const std::string& name : o.inputs) {
        auto t = load(name, in, err);
        if (!t) return kCurveUsage;
        tables.push_back(std::move(*t));
    }
    std::optional<SweepTable> reference;
    if (!o.referencePath.empty()) {
        reference = load(o.referencePath, in, err);
        if (!reference) return kCurveUsage;
    }

    int status = kCurvePass;
    std::vector<std::vector<Deviation>> deviations;
    if (reference) {
        for (const SweepTable& t : tables) {
            deviations.push_back(checkAgainst(t, *reference, o.tolerance));
            if (!deviations.back().empty()) status = kCurveFail;
        }
    }

    if (o.json) {
        out << "{\"tables\":[";
        for (std::size_t i = 0; i < tables.size(); ++i) {
            out << (i ? "," : "") << figuresJson(tables[i], computeFigures(tables[i], o.tolerance));
        }
        out << "]";
        if (reference) {
            out << ",\"reference\":{\"name\":" << jsonString(reference->name)
                << ",\"tolerance\":" << jsonString(o.toleranceText)
                << ",\"pass\":" << (status == kCurvePass ? "true" : "false") << ",\"deviations\":[";
            bool first = true;
            for (std::size_t i = 0; i < tables.size(); ++i) {
                for (const Deviation& d : deviations[i]) {
                    out << (first ? "" : ",") << "{\"table\":" << jsonString(tables[i].name)
                        << ",\"duty\":" << d.duty << ",\"measured\":" << jsonOptional(d.measured)
                        << ",\"reference\":" << jsonOptional(d.reference) << "}";
                    first = false;
                }
            }
            out << "]}";
        }
        out << "}\n";
    } else {
        for (const SweepTable& t : tables) printFigures(out, t, computeFigures(t, o.tolerance));
        for (std::size_t i = 0; reference && i < tables.size(); ++i) {
            out << tables[i].name << " against " << reference->name << " within " << o.toleranceText
                << ": " << (deviations[i].empty() ? "PASS" : "FAIL") << "\n";
            for (const Deviation& d : deviations[i]) printDeviation(out, d);
        }
    }

    if (!o.svgPath.empty()) {
        PlotInput plot{tables, reference ? &*reference : nullptr, o.tolerance};
        if (!writeFileAtomically(o.svgPath, renderSvg(plot))) {
            err << "fancurve: cannot write " << o.svgPath << "\n";
            return kCurveFail;
        }
    }
    return status;
}

}  // namespace fanbench::curve
