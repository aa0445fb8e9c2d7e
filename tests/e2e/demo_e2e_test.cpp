// The demo end to end: started on an X server, driven with keys and clicks,
// judged by what its window shows.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "demo_driver.h"
#include "platform/png.h"
#include "tests/image/png_writer.h"

namespace {

const std::string DEMO = PARTICLE_DEMO_BINARY;
const std::string DEMO_DIR = PARTICLE_DEMO_DIR;  // holds Metaball.png

// Standard error without the line the demo writes at start on which path draws.
std::string AfterDrawingLine(const std::string& err) {
    if (err.rfind("particle-demo: drawing ", 0) != 0) return err;
    return err.substr(err.find('\n') + 1);
}

// An X server of the test's own, on a display number it picks itself, so that
// the test can take it away under a running demo.
class TPrivateXServer {
public:
    TPrivateXServer() {
        int ready[2];
        if (pipe(ready) != 0) return;
        _pid = fork();
        if (_pid == 0) {
            close(ready[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        // The server writes its number, then a newline, once it accepts
        // connections; the pipe stays open until both are in (a server that
        // cannot write them gives up).
        std::string number;
        char c = 0;
        while (_pid > 0 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
        close(ready[0]);
        if (c == '\n' && !number.empty()) Name = ":" + number;
    }
    ~TPrivateXServer() { Kill(); }
    void Kill() {
        if (_pid <= 0) return;
        kill(_pid, SIGKILL);
        waitpid(_pid, nullptr, 0);
        _pid = -1;
    }

    std::string Name;  // ":N"; empty if the server did not start

private:
    pid_t _pid = -1;
};

class DemoEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X server: run the tests with scripts/test.sh";
        demo = std::make_unique<TDemoProcess>(DEMO, DEMO_DIR);
        ASSERT_TRUE(demo->WaitForWindow(10000)) << demo->StandardError();
    }

    // Quits with Escape and checks the exit status.
    void TearDown() override {
        if (!demo || HasFatalFailure()) return;
        demo->Key("Escape");
        const TExit exit = demo->WaitForExit(10000);
        EXPECT_TRUE(exit.Exited);
        EXPECT_EQ(exit.Code, 0) << demo->StandardError();
    }

    std::unique_ptr<TDemoProcess> demo;
};

}  // namespace

TEST_F(DemoEndToEnd, SceneOnePoursBlueLiquidAndCountsItsParticles) {
    TScreenImage first = demo->Grab();
    ASSERT_EQ(first.Width, 800);
    ASSERT_EQ(first.Height, 600);
    EXPECT_EQ(first.ReadText(0, 0, 5), "FPS: ");
    const int early = ParticleCount(first);
    ASSERT_GE(early, 2006) << first.ReadText(100, 0, 17);
    EXPECT_EQ((early - 2006) % 16, 0);  // the emitter lays rows of 16

    Pause(2500);
    TScreenImage later = demo->Grab();
    const int poured = ParticleCount(later);
    EXPECT_GT(poured, early);
    EXPECT_GT(later.CountDominant(2, 0, 200, 280, 560), 3000);    // blue liquid left of the pillar
    EXPECT_GT(later.CountDominant(0, 280, 480, 560, 560), 3000);  // the red block
    const std::string fps = later.ReadText(0, 0, 7);              // "FPS: " and a number of frames
    EXPECT_EQ(fps.substr(0, 5), "FPS: ");
    EXPECT_TRUE(fps[5] >= '1' && fps[5] <= '9') << fps;

    // Space switches the emitter off: the count holds still.
    demo->Key("space");
    Pause(500);
    const int stopped = ParticleCount(demo->Grab());
    Pause(1000);
    EXPECT_EQ(ParticleCount(demo->Grab()), stopped);
    EXPECT_EQ((stopped - 2006) % 16, 0);
}

TEST_F(DemoEndToEnd, SceneOneClicksAddAnElasticBlockAndAWall) {
    demo->Key("space");  // stop pouring so that counts are exact
    Pause(500);
    const int before = ParticleCount(demo->Grab());
    ASSERT_GT(before, 0);
    demo->Click(650, 100, 1);
    Pause(500);
    EXPECT_EQ(ParticleCount(demo->Grab()), before + 147);  // 7 × 21 red particles
    demo->Click(700, 300, 3);
    Pause(500);
    TScreenImage image = demo->Grab();
    EXPECT_EQ(ParticleCount(image), before + 147 + 81);  // 9 × 9 wall particles
    const TScreenImage::Pixel wall = image.At(720, 320);
    EXPECT_NEAR(wall.R, 254, 3);
    EXPECT_NEAR(wall.G, 128, 3);
    EXPECT_NEAR(wall.B, 128, 3);
}

TEST_F(DemoEndToEnd, SceneTwoShowsThreeLiquidsAndSpaceStartsThreeEmitters) {
    demo->Key("2");
    Pause(1000);
    TScreenImage image = demo->Grab();
    EXPECT_GT(image.CountDominant(0, 0, 300, 260, 600), 20000);    // red on the left
    EXPECT_GT(image.CountDominant(2, 270, 300, 530, 600), 20000);  // blue in the middle
    EXPECT_GT(image.CountDominant(1, 540, 300, 800, 600), 20000);  // green on the right
    const int before = ParticleCount(image);
    ASSERT_GT(before, 5000);
    Pause(700);
    EXPECT_EQ(ParticleCount(demo->Grab()), before);  // its emitters start switched off

    demo->Key("space");
    Pause(2000);
    const int after = ParticleCount(demo->Grab());
    EXPECT_GT(after, before);
    EXPECT_EQ((after - before) % (3 * 23), 0);  // each emission is a row of 23 from each
}

TEST_F(DemoEndToEnd, SceneThreeHasTheGreenBarAndClicksDropBoxes) {
    demo->Key("space");  // scene 1 stops pouring, so its count can be compared later
    Pause(500);
    const int sceneOne = ParticleCount(demo->Grab());
    demo->Key("3");
    Pause(500);
    TScreenImage image = demo->Grab();
    EXPECT_EQ(ParticleCount(image), 427);
    EXPECT_GT(image.CountDominant(1, 0, 0, 800, 600), 10000);
    // Right of the bar, where nothing is green until the box is dropped.
    EXPECT_LT(image.CountDominant(1, 690, 130, 760, 330), 100);
    demo->Click(700, 150, 1);
    Pause(300);
    image = demo->Grab();
    EXPECT_EQ(ParticleCount(image), 427 + 95);
    EXPECT_GT(image.CountDominant(1, 690, 130, 760, 330), 2000);  // a 40 × 150 box

    demo->Key("1");  // scene 1 stood still meanwhile
    Pause(500);
    EXPECT_EQ(ParticleCount(demo->Grab()), sceneOne);
}

TEST_F(DemoEndToEnd, CloseRequestEndsTheProgram) {
    demo->RequestClose();
    const TExit exit = demo->WaitForExit(10000);
    EXPECT_TRUE(exit.Exited);
    EXPECT_EQ(exit.Code, 0);
    demo.reset();
}

TEST(DemoStartUp, WithoutADisplayItSaysSoAndFails) {
    TDemoProcess demo(DEMO, DEMO_DIR, std::string());
    const TExit exit = demo.WaitForExit(10000);
    ASSERT_TRUE(exit.Exited);
    EXPECT_NE(exit.Code, 0);
    EXPECT_NE(demo.StandardError().find("display"), std::string::npos) << demo.StandardError();
}

// A copy of the program in a folder of its own, with no sprite beside it,
// started in "/": the one line names both places it looked.
TEST(DemoStartUp, WithoutTheSpriteImageItNamesTheFileAndFails) {
    const std::string dir = ::testing::TempDir() + "lone_demo/";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(DEMO, dir + "particle-demo", std::filesystem::copy_options::overwrite_existing);
    TDemoProcess demo(dir + "particle-demo", "/");
    const TExit exit = demo.WaitForExit(10000);
    ASSERT_TRUE(exit.Exited);
    EXPECT_NE(exit.Code, 0);
    EXPECT_EQ(AfterDrawingLine(demo.StandardError()),
              "particle-demo: cannot load the sprite image \"Metaball.png\": cannot open it in the working folder, / "
              "(No such file or directory), nor next to the program, in " +
                  std::filesystem::canonical(dir).string() + "/ (No such file or directory)\n");
    std::filesystem::remove_all(dir);
}

// A screenshot that could not be saved is refused before the window opens,
// and leaves nothing behind.
TEST(DemoStartUp, AScreenshotInAMissingFolderIsRefusedAtOnce) {
    const std::string shot = ::testing::TempDir() + "no_such_folder/shot.png";
    TDemoProcess demo(DEMO, DEMO_DIR, std::nullopt, {"--screenshot", shot});  // no --frames: it would run on
    const TExit exit = demo.WaitForExit(5000);
    ASSERT_TRUE(exit.Exited) << "still running";
    EXPECT_EQ(exit.Code, 1);
    EXPECT_EQ(demo.StandardError(), "particle-demo: cannot save the screenshot \"" + shot +
                                        "\": cannot create the file: No such file or directory\n");
    EXPECT_FALSE(std::filesystem::exists(::testing::TempDir() + "no_such_folder"));
}

TEST(DemoStartUp, LosingTheXServerEndsWithOneLineAndADeadServerIsNamed) {
    TPrivateXServer server;
    ASSERT_FALSE(server.Name.empty()) << "Xvfb did not start";
    TDemoProcess demo(DEMO, DEMO_DIR, server.Name);
    // xdotool asks the server as a new client: like any, it is refused now and
    // then right after another client left, so it asks until it is answered.
    const std::string shown =
        "env DISPLAY=" + server.Name + " xdotool search --onlyvisible --name 'Particle Demo' >/dev/null 2>&1";
    bool windowShown = false;
    for (int waited = 0; !windowShown && waited < 20000; waited += 100) {
        windowShown = std::system(shown.c_str()) == 0;
        if (!windowShown) Pause(100);
    }
    ASSERT_TRUE(windowShown) << demo.StandardError();
    Pause(300);

    server.Kill();
    const TExit lost = demo.WaitForExit(5000);
    ASSERT_TRUE(lost.Exited) << "still running after its X server went away";
    EXPECT_EQ(lost.Code, 1);
    EXPECT_EQ(AfterDrawingLine(demo.StandardError()),
              "particle-demo: the connection to the X display \"" + server.Name + "\" was lost\n");

    // Started on the display that is gone: it says which and what X said.
    TDemoProcess again(DEMO, DEMO_DIR, server.Name);
    const TExit refused = again.WaitForExit(10000);
    ASSERT_TRUE(refused.Exited);
    EXPECT_EQ(refused.Code, 1);
    EXPECT_EQ(again.StandardError(),
              "particle-demo: the X display \"" + server.Name + "\" could not be opened: Connection refused\n");
}

// Sprite files that read as PNG but cannot become the sprite: one far too
// large for any texture, and small files declaring 2^31 - 1 bytes of a chunk.
// Each ends the demo with one line naming the image and what failed.
TEST(DemoStartUp, AHostileSpriteImageEndsItWithOneLineSayingWhatFailed) {
    const std::string dir = ::testing::TempDir() + "hostile_sprite";
    mkdir(dir.c_str(), 0700);
    const std::string sprite = dir + "/Metaball.png";
    struct Case {
        std::string what, expected;
        std::vector<std::uint8_t> bytes;  // none: the huge image
    };
    std::vector<Case> cases = {{"5000 x 13421 RGBA, just under the pixel limit", "5000 x 13421", {}}};
    for (const THostilePng& h : HostilePngFiles())
        if (h.name.find("tEXt") != std::string::npos || h.name.find("IDAT") != std::string::npos)
            cases.push_back({h.name, "too large", h.bytes});
    for (const Case& c : cases) {
        if (c.bytes.empty())
            ASSERT_TRUE(WriteUniformRgbaPng(sprite, 5000, 13421, 0xffffff80u));
        else
            WriteBytes(sprite, c.bytes);
        TDemoProcess demo(DEMO, dir);
        const TExit exit = demo.WaitForExit(30000);
        ASSERT_TRUE(exit.Exited) << c.what;
        EXPECT_NE(exit.Code, 0) << c.what;
        const std::string err = demo.StandardError();
        const std::string head = "particle-demo: cannot load the sprite image \"Metaball.png\": ";
        const std::size_t at = err.find(head);
        ASSERT_NE(at, std::string::npos) << c.what << ": " << err;
        const std::string line = err.substr(at + head.size(), err.find('\n', at) - at - head.size());
        EXPECT_NE(line.find(c.expected), std::string::npos) << c.what << ": " << line;
        EXPECT_EQ(err.find("particle-demo", at + 1), std::string::npos) << c.what << ": more than one line: " << err;
    }
    std::remove(sprite.c_str());
}

namespace {

// A PNG the demo saved, as if grabbed from its window.
TScreenImage ImageOfPng(const std::string& path) {
    TScreenImage image;
    const auto rgb = LoadPngPixmap(path);
    EXPECT_TRUE(rgb && rgb->format == PIXEL_FORMAT_RGB8) << path;
    if (!rgb) return image;
    image.Width = rgb->width;
    image.Height = rgb->height;
    image.Rgb.assign(rgb->pixels, rgb->pixels + rgb->pitch * rgb->height);  // rows of 800 × 3 bytes: no padding
    return image;
}

}  // namespace

// --frames ends the run by itself and --screenshot saves its last frame, of
// the scene --scene asked for; --fps-log says a line a second.
TEST(DemoCommandLine, FramesAndScreenshotSaveTheSceneAskedFor) {
    const std::string shot = ::testing::TempDir() + "demo_scene_2.png";
    TDemoProcess two(DEMO, DEMO_DIR, std::nullopt,
                     {"--scene", "2", "--frames", "90", "--screenshot", shot, "--fps-log"});
    EXPECT_EQ(two.WaitForExit(60000).Code, 0) << two.StandardError();
    TScreenImage image = ImageOfPng(shot);
    ASSERT_EQ(image.Width * image.Height, 800 * 600);
    EXPECT_EQ(ParticleCount(image), 7965);                         // scene 2 as built: its emitters start switched off
    EXPECT_GT(image.CountDominant(0, 0, 300, 260, 600), 20000);    // red on the left
    EXPECT_GT(image.CountDominant(2, 270, 300, 530, 600), 20000);  // blue in the middle
    EXPECT_GT(image.CountDominant(1, 540, 300, 800, 600), 20000);  // green on the right
    // 90 frames take at least 1.4 s: a line at least; then the end line.
    const std::string log = two.StandardOutput();
    const std::string ms = " [0-9]+\\.[0-9]{2}";
    EXPECT_TRUE(std::regex_match(
        log, std::regex("(scene 2 fps [1-9][0-9]* particles 7965 draw (gl|cpu) step-ms" + ms + " draw-ms" + ms +
                        " show-ms" + ms + "\n)+scene 2 frame 90 particles 7965 checksum [0-9a-f]{16}\n")))
        << log;

    // One frame of scene 3, with no frame of scene 1 before it.
    TDemoProcess three(DEMO, DEMO_DIR, std::nullopt, {"--frames=1", "--scene=3", "--screenshot=" + shot});
    EXPECT_EQ(three.WaitForExit(60000).Code, 0) << three.StandardError();
    image = ImageOfPng(shot);
    EXPECT_EQ(ParticleCount(image), 427);
    EXPECT_GT(image.CountDominant(1, 100, 40, 600, 110), 10000);  // the bar, where it starts
}

// With --contacts, boxes clicked above the bar once it has landed fall onto
// it and stay on it, standing or toppled, none sunk into the bar or fallen
// through it to the floor. The screenshot of frame 600 decides.
TEST(DemoCommandLine, WithContactsClickedBoxesRestOnTheBar) {
    const std::string shot = ::testing::TempDir() + "demo_boxes_on_bar.png";
    TDemoProcess demo(DEMO, DEMO_DIR, std::nullopt,
                      {"--scene=3", "--contacts", "--frames=600", "--screenshot=" + shot});
    ASSERT_TRUE(demo.WaitForWindow(10000)) << demo.StandardError();
    auto landed = [](const TScreenImage& image) {  // the bar on the floor, none of it where it started
        return image.CountDominant(1, 150, 560, 550, 595) > 5000 && image.CountDominant(1, 100, 40, 600, 110) < 100;
    };
    bool down = false;
    for (int tries = 0; tries < 200 && !down; ++tries) {
        down = landed(demo.Grab());
        if (!down) Pause(100);
    }
    ASSERT_TRUE(down) << "the bar never landed";
    for (const int x : {230, 330, 430}) demo.Click(x, 300, 1);
    EXPECT_EQ(demo.WaitForExit(60000).Code, 0) << demo.StandardError();
    const TScreenImage image = ImageOfPng(shot);
    EXPECT_EQ(ParticleCount(image), 427 + 3 * 95);
    EXPECT_TRUE(landed(image));
    // A box standing on the bar spans y 392 to 544, one toppled onto it 506 to
    // 544: nothing green is left higher up, and above the bar's top (546)
    // are all three, some 6000 green pixels each, none sunk into the bar.
    EXPECT_LT(image.CountDominant(1, 0, 120, 800, 380), 50);
    EXPECT_GT(image.CountDominant(1, 0, 380, 800, 544), 3 * 5500);
}

// Started in a folder without the sprite, it finds the one beside it, and a
// relative screenshot path means the folder it was started in.
TEST(DemoStartUp, FromAnotherFolderItFindsItsSpriteAndSavesThere) {
    const std::string dir = ::testing::TempDir() + "elsewhere";
    std::filesystem::create_directories(dir);
    TDemoProcess demo(DEMO, dir, std::nullopt, {"--scene=3", "--frames=1", "--screenshot=here.png"});
    EXPECT_EQ(demo.WaitForExit(60000).Code, 0) << demo.StandardError();
    const TScreenImage image = ImageOfPng(dir + "/here.png");
    EXPECT_EQ(ParticleCount(image), 427);
    EXPECT_GT(image.CountDominant(1, 100, 40, 600, 110), 10000);  // the bar's sprites
    std::filesystem::remove_all(dir);
}

// Without --frames, the screenshot is the frame on show when the user quits.
TEST(DemoCommandLine, QuittingSavesTheFrameOnShow) {
    const std::string shot = ::testing::TempDir() + "demo_quit.png";
    TDemoProcess demo(DEMO, DEMO_DIR, std::nullopt, {"--screenshot", shot});
    ASSERT_TRUE(demo.WaitForWindow(10000)) << demo.StandardError();
    Pause(1000);
    demo.Key("space");  // the emitter stops, so the count on screen holds
    Pause(500);
    const int onScreen = ParticleCount(demo.Grab());
    demo.Key("Escape");
    EXPECT_EQ(demo.WaitForExit(10000).Code, 0) << demo.StandardError();
    const TScreenImage saved = ImageOfPng(shot);
    EXPECT_EQ(ParticleCount(saved), onScreen);
    EXPECT_GT(saved.CountDominant(0, 280, 480, 560, 560), 3000);  // the red block
    EXPECT_GT(saved.CountDominant(2, 0, 200, 280, 560), 1000);    // blue liquid poured
}

// A wrong argument: one line naming it, then the usage --help prints, and
// exit status 2.
TEST(DemoCommandLine, AWrongArgumentEndsWithOneLineAndTheUsage) {
    TDemoProcess help(DEMO, DEMO_DIR, std::nullopt, {"--help"});
    EXPECT_EQ(help.WaitForExit(10000).Code, 0);
    const std::string usage = help.StandardOutput();
    EXPECT_NE(usage.find("--draw gl|cpu|auto"), std::string::npos) << usage;
    TDemoProcess wrong(DEMO, DEMO_DIR, std::nullopt, {"--scene", "2", "--draw", "vulkan"});
    EXPECT_EQ(wrong.WaitForExit(10000).Code, 2);
    EXPECT_EQ(wrong.StandardError(),
              "particle-demo: --draw: \"vulkan\" is not a drawing path: give gl, cpu or auto\n" + usage);
}
