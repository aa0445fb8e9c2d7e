// The keys that act on the run (pause, one step, restart, help) and the
// recordings that replay a run: judged by the end line a run prints, which
// holds the checksum of the world on show, so no verdict waits on the clock.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <string>

#include "demo_driver.h"

namespace {

const std::string DEMO = PARTICLE_DEMO_BINARY;
const std::string DEMO_DIR = PARTICLE_DEMO_DIR;
const std::string DATA = PARTICLE_DEMO_TEST_DATA;

// Polls until `done`; the time limit only stops a run that went wrong.
bool WaitFor(const std::function<bool()>& done) {
    for (int waited = 0; waited < 20000; waited += 50, Pause(50))
        if (done()) return true;
    return false;
}

struct TEndLine {
    int Scene = 0, Particles = 0;
    long Frame = 0;
    std::string Checksum, Line;
};

// The last line of a run's standard output, taken apart.
TEndLine EndLineOf(const std::string& out) {
    static const std::regex line("scene ([1-3]) frame ([0-9]+) particles ([0-9]+) checksum ([0-9a-f]{16})\n$");
    std::smatch m;
    TEndLine end;
    if (!std::regex_search(out, m, line)) return end;
    end = {std::stoi(m[1]), std::stoi(m[3]), std::stol(m[2]), m[4], m[0]};
    return end;
}

// Runs the demo to its end with SPH_THREADS set to `threads` (unset if
// empty); its exit status and end line.
std::pair<int, TEndLine> RunDemo(const std::vector<std::string>& arguments, const std::string& threads = "") {
    if (threads.empty()) {
        unsetenv("SPH_THREADS");
    } else {
        setenv("SPH_THREADS", threads.c_str(), 1);
    }
    TDemoProcess demo(DEMO, DEMO_DIR, std::nullopt, arguments);
    unsetenv("SPH_THREADS");
    const TExit exit = demo.WaitForExit(120000);
    EXPECT_TRUE(exit.Exited) << "still running";
    return {exit.Code, EndLineOf(demo.StandardOutput())};
}

std::string WriteFile(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

}  // namespace

// The scripted run: clicks in scenes 1 and 3, space in scene 2, R, P and N.
// It ends in scene 3 with the bar and two boxes, 427 + 2 × 95 particles (one
// box laid while paused), on the end line of session.end, which the browser
// and Windows builds must print too.
TEST(DemoReplay, TheScriptedRunEndsAlikeOnOneAndTwoThreads) {
    const auto [code1, one] = RunDemo({"--replay", DATA + "/session.rec"}, "1");
    const auto [code2, two] = RunDemo({"--replay", DATA + "/session.rec"}, "2");
    EXPECT_EQ(code1, 0);
    EXPECT_EQ(code2, 0);
    EXPECT_EQ(one.Line, FileText(DATA + "/session.end"));
    EXPECT_EQ(two.Line, one.Line);
}

// P holds the scene still and N steps it once; H shows the help. The run is
// recorded, and its recording replays to the run's own end line.
TEST(DemoKeys, PauseHoldsTheSceneOneStepStepsOnceAndHelpShows) {
    const std::string record = ::testing::TempDir() + "keys.rec";
    TDemoProcess demo(DEMO, DEMO_DIR, std::nullopt, {"--record", record, "--frames", "1000000"});
    ASSERT_TRUE(demo.WaitForWindow(10000)) << demo.StandardError();
    auto recorded = [&](const std::string& what) {
        return WaitFor([&] { return FileText(record).find(what) != std::string::npos; });
    };
    EXPECT_NE(demo.Grab().ReadText(16, 32, 4), "Keys");
    demo.Key("p");
    ASSERT_TRUE(recorded(" key P\n"));
    EXPECT_TRUE(WaitFor([&] { return demo.Grab().ReadText(336, 0, 6) == "Paused"; }));
    demo.Key("n");
    ASSERT_TRUE(recorded(" key N\n"));
    demo.Key("h");
    EXPECT_TRUE(WaitFor([&] { return demo.Grab().ReadText(16, 32, 4) == "Keys"; }));
    demo.Key("Escape");
    ASSERT_EQ(demo.WaitForExit(10000).Code, 0) << demo.StandardError();
    const TEndLine live = EndLineOf(demo.StandardOutput());

    // H changes no scene, so it is not in the recording.
    std::smatch m;
    const std::string text = FileText(record);
    ASSERT_TRUE(std::regex_match(text, m,
                                 std::regex("particle-demo recording 1\n0 key 1\n([0-9]+) key P\n([0-9]+) key N\n"
                                            "([0-9]+) end\n")))
        << text;
    const long paused = std::stol(m[1]), stepped = std::stol(m[2]);
    EXPECT_LT(paused, stepped);
    EXPECT_EQ(live.Frame, std::stol(m[3]));
    // The frame of P did not step, the frame of N did: the scene stands as
    // after `paused` frames without a pause, however long it was paused.
    const TEndLine unpaused = RunDemo({"--frames", std::to_string(paused)}).second;
    EXPECT_EQ(live.Particles, unpaused.Particles);
    EXPECT_EQ(live.Checksum, unpaused.Checksum);
    EXPECT_EQ(RunDemo({"--replay", record}).second.Line, live.Line);
}

// R, while paused, shows scene 1 as its first frame shows it: 2006 particles
// and the world exactly as built (a run paused in its first frame).
TEST(DemoKeys, RestartShowsSceneOneAsItStarted) {
    TDemoProcess demo(DEMO, DEMO_DIR, std::nullopt, {"--frames", "1000000"});
    ASSERT_TRUE(demo.WaitForWindow(10000)) << demo.StandardError();
    ASSERT_TRUE(WaitFor([&] { return ParticleCount(demo.Grab()) > 2006; }));  // it has poured
    demo.Key("p");
    ASSERT_TRUE(WaitFor([&] { return demo.Grab().ReadText(336, 0, 6) == "Paused"; }));
    demo.Key("r");
    EXPECT_TRUE(WaitFor([&] { return ParticleCount(demo.Grab()) == 2006; }));
    demo.Key("Escape");
    ASSERT_EQ(demo.WaitForExit(10000).Code, 0) << demo.StandardError();
    const TEndLine restarted = EndLineOf(demo.StandardOutput());
    EXPECT_EQ(restarted.Particles, 2006);
    const TEndLine built =
        RunDemo({"--replay", WriteFile("built.rec", "particle-demo recording 1\n1 key P\n1 end\n")}).second;
    EXPECT_EQ(built.Line, "scene 1 frame 1 particles 2006 checksum " + built.Checksum + "\n");
    EXPECT_EQ(restarted.Checksum, built.Checksum);
}

// What the run cannot start with ends it before the window opens, with one
// line saying what and where, and status 2 (1 for a recording that cannot be
// written, as for a screenshot).
TEST(DemoReplay, BadInputEndsItWithOneLine) {
    const std::string head = "particle-demo recording 1\n";
    const std::string missing = ::testing::TempDir() + "no_such.rec";
    struct Case {
        std::vector<std::string> arguments;
        std::string threads, says;
        int code = 2;
    };
    const std::vector<Case> cases = {
        {{"--replay", missing}, "", "\"" + missing + "\": cannot open it: No such file or directory"},
        {{"--replay", ::testing::TempDir()}, "", "cannot read it: Is a directory"},
        {{"--replay", WriteFile("v2.rec", "particle-demo recording 2\n9 end\n")}, "", "version \"2\"; this program"},
        {{"--replay", WriteFile("png.rec", "\x89PNG\r\n")}, "", "it is not a recording"},
        {{"--replay", WriteFile("bad.rec", head + "5 key space\n\n7 jump\n")}, "", "line 4 (\"7 jump\"): not an event"},
        {{"--replay", WriteFile("key.rec", head + "5 key Q\n")}, "", "line 2 (\"5 key Q\"): \"Q\" is not a key"},
        {{"--replay", WriteFile("past.rec", head + "20 key P\n10 key P\n")},
         "",
         "line 3 (\"10 key P\"): frame 10 is already past: line 2 is for frame 20"},
        {{"--replay", WriteFile("out.rec", head + "5 click left 800 10\n")}, "", "outside the 800 x 600 window"},
        {{"--replay", WriteFile("late.rec", head + "5 end\n6 key P\n")}, "", "line 3 (\"6 key P\"): it comes after"},
        {{"--frames", "1"}, "many", "SPH_THREADS: \"many\" is not a number of threads"},
        {{"--frames", "1"}, "0", "SPH_THREADS: \"0\""},
        {{"--frames", "1"}, "65", "SPH_THREADS: \"65\""},
        {{"--record", missing + "/x.rec"}, "", "cannot write the recording", 1},
    };
    for (const Case& c : cases) {
        if (c.threads.empty()) {
            unsetenv("SPH_THREADS");
        } else {
            setenv("SPH_THREADS", c.threads.c_str(), 1);
        }
        TDemoProcess demo(DEMO, DEMO_DIR, std::string(), c.arguments);  // no display: it must not get that far
        unsetenv("SPH_THREADS");
        const TExit exit = demo.WaitForExit(10000);
        const std::string err = demo.StandardError();
        EXPECT_EQ(exit.Code, c.code) << c.says << ": " << err;
        EXPECT_EQ(err.rfind("particle-demo: ", 0), 0u) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << "not one line: " << err;
    }
}
