#include "curve/fancurve.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

namespace fanbench::curve {
namespace {

namespace fs = std::filesystem;

class Fancurve : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("fancurve-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string file(const std::string& name, const std::string& content) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    int run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), "fancurve");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        std::istringstream in(input);
        out.str("");
        err.str("");
        return runFancurve(argv, in, out, err);
    }

    fs::path dir;
    std::ostringstream out, err;
};

std::string sweep(std::uint64_t at0, std::uint64_t perStep, int skipDuty = -1) {
    std::string s = "Duty(%)\tSpeed(rpm)\n";
    for (int i = 0; i <= 20; ++i) {
        if (i * 5 == skipDuty) continue;
        s += std::to_string(i * 5) + "\t" +
             std::to_string(at0 + perStep * static_cast<std::uint64_t>(i)) + "\n";
    }
    return s;
}

// Tags open and close in order, attributes are quoted: enough to catch a broken writer.
bool wellFormed(const std::string& xml) {
    std::vector<std::string> open;
    const std::regex tag(
        R"(<(/?)([A-Za-z][\w:-]*)((?:\s+[\w:-]+="[^"<]*")*)\s*(/?)>|<\?xml[^>]*\?>)");
    std::size_t pos = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator();
         ++it) {
        const std::smatch& m = *it;
        if (xml.substr(pos, static_cast<std::size_t>(m.position()) - pos).find('<') !=
            std::string::npos)
            return false;
        pos = static_cast<std::size_t>(m.position() + m.length());
        if (m[2].length() == 0) continue;
        if (m[1].length() > 0) {
            if (open.empty() || open.back() != m[2]) return false;
            open.pop_back();
        } else if (m[4].length() == 0) {
            open.push_back(m[2]);
        }
    }
    return open.empty() && xml.find('<', pos) == std::string::npos;
}

TEST_F(Fancurve, PlotsEveryPointWithALegendPerFile) {
    const std::string a = file("a & b.tsv", sweep(600, 90));
    const std::string b = file("b.tsv", sweep(300, 100));
    const std::string svg = (dir / "fan.svg").string();
    EXPECT_EQ(run({a, b, "-o", svg}), kCurvePass);
    std::ifstream in(svg);
    const std::string xml((std::istreambuf_iterator<char>(in)), {});
    EXPECT_TRUE(wellFormed(xml));
    std::size_t points = 0;
    for (std::size_t p = 0; (p = xml.find("class=\"point\"", p)) != std::string::npos; ++p)
        ++points;
    EXPECT_EQ(points, 42u);
    EXPECT_NE(xml.find("a &amp; b.tsv"), std::string::npos);
    EXPECT_NE(xml.find(">Duty (%)<"), std::string::npos);
    EXPECT_FALSE(fs::exists(svg + ".tmp"));
}

TEST_F(Fancurve, PrintsTheFiguresAsTextAndAsJson) {
    const std::string a = file("a.tsv", sweep(600, 90));
    EXPECT_EQ(run({a}), kCurvePass);
    EXPECT_NE(out.str().find("  rpm at 0 %: 600\n  rpm at 100 %: 2400\n  highest rpm: 2400\n"),
              std::string::npos);
    EXPECT_NE(out.str().find("  linearity (R^2): 1.0000\n"), std::string::npos);
    EXPECT_EQ(run({"--json", "-"}, sweep(600, 90)), kCurvePass);
    EXPECT_EQ(
        out.str().rfind("{\"tables\":[{\"name\":\"-\",\"rpm_at_0\":600,\"rpm_at_100\":2400,", 0),
        0u)
        << out.str();
    EXPECT_EQ(out.str().back(), '\n');
}

TEST_F(Fancurve, ReferenceCheckPassesFailsAndNamesMissingDuties) {
    const std::string good = file("good.tsv", sweep(600, 90));
    const std::string close = file("close.tsv", sweep(630, 92));
    const std::string slow = file("slow.tsv", sweep(400, 70));
    const std::string gap = file("gap.tsv", sweep(600, 90, 50));

    EXPECT_EQ(run({close, "--reference", good, "--tolerance", "10%"}), kCurvePass);
    EXPECT_NE(out.str().find("against " + good + " within 10%: PASS"), std::string::npos);

    EXPECT_EQ(run({slow, "--reference", good, "--tolerance", "100rpm"}), kCurveFail);
    EXPECT_NE(out.str().find("FAIL"), std::string::npos);
    EXPECT_NE(out.str().find("  duty 0 %: measured 400, reference 600, difference -200\n"),
              std::string::npos);

    EXPECT_EQ(run({gap, "--reference", good}), kCurveFail);
    EXPECT_NE(out.str().find("  duty 50 %: missing from the measured table (reference 1500)\n"),
              std::string::npos);
}

TEST_F(Fancurve, BadInputOrOptionsWriteNothing) {
    const std::string bad = file("bad.tsv", "Duty(%)\tSpeed(rpm)\n0\t600\n5\tfast\n");
    const std::string svg = (dir / "out.svg").string();
    EXPECT_EQ(run({bad, "-o", svg}), kCurveUsage);
    EXPECT_EQ(err.str(), "fancurve: " + bad + ":3: speed \"fast\" is not a whole number\n");
    EXPECT_FALSE(fs::exists(svg));
    EXPECT_EQ(run({}), kCurveUsage);
    EXPECT_EQ(run({bad, "--tolerance", "ten"}), kCurveUsage);
    EXPECT_EQ(run({bad, "--frobnicate"}), kCurveUsage);
    EXPECT_EQ(run({(dir / "absent.tsv").string()}), kCurveUsage);
    EXPECT_EQ(run({"--help"}), kCurvePass);
    EXPECT_EQ(out.str().rfind("Usage: fancurve", 0), 0u);
}

}  // namespace
}  // namespace fanbench::curve
