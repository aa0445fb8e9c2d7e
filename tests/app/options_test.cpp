// The demo's command line: what each option sets, and the one line a wrong
// argument earns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

using TAction = TCommandLine::TAction;

TEST(CommandLine, NoArgumentsRunTheDemoAsItAlwaysRan) {
    const TCommandLine line = ParseCommandLine({});
    EXPECT_EQ(line.Action, TAction::Run);
    EXPECT_EQ(line.Options.Scene, 1);
    EXPECT_EQ(line.Options.Frames, 0);
    EXPECT_EQ(line.Options.Screenshot, "");
    EXPECT_EQ(line.Options.Draw, TDrawChoice::Auto);
    EXPECT_FALSE(line.Options.FpsLog);
}

TEST(CommandLine, EveryOptionInBothSpellings) {
    const TCommandLine line = ParseCommandLine(
        {"--scene", "3", "--frames=2147483647", "--screenshot", "out/Shot.PNG", "--draw=cpu", "--fps-log"});
    ASSERT_EQ(line.Action, TAction::Run) << line.Error;
    EXPECT_EQ(line.Options.Scene, 3);
    EXPECT_EQ(line.Options.Frames, 2147483647);
    EXPECT_EQ(line.Options.Screenshot, "out/Shot.PNG");
    EXPECT_EQ(line.Options.Draw, TDrawChoice::Cpu);
    EXPECT_TRUE(line.Options.FpsLog);

    // The last of a repeated option counts.
    const TCommandLine again = ParseCommandLine({"--draw", "cpu", "--draw", "gl", "--scene=2", "--scene", "1"});
    EXPECT_EQ(again.Options.Draw, TDrawChoice::Gl);
    EXPECT_EQ(again.Options.Scene, 1);
    EXPECT_EQ(ParseCommandLine({"--draw", "gl", "--draw", "auto"}).Options.Draw, TDrawChoice::Auto);
}

TEST(CommandLine, AWrongArgumentGivesOneLineNamingIt) {
    struct Case {
        std::vector<std::string> arguments;
        std::string named;  // what the line must quote
    };
    const std::vector<Case> cases = {
        {{"--sceen", "2"}, "\"--sceen\""},
        {{"-x"}, "\"-x\""},
        {{"2"}, "\"2\""},
        {{"--scene", "0"}, "--scene: \"0\""},
        {{"--scene", "4"}, "--scene: \"4\""},
        {{"--scene", "2x"}, "--scene: \"2x\""},
        {{"--scene", " 2"}, "--scene: \" 2\""},
        {{"--scene="}, "--scene: \"\""},
        {{"--frames", "0"}, "--frames: \"0\""},
        {{"--frames", "-5"}, "--frames: \"-5\""},
        {{"--frames", "+5"}, "--frames: \"+5\""},
        {{"--frames", "2147483648"}, "--frames: \"2147483648\""},
        {{"--frames", "1e3"}, "--frames: \"1e3\""},
        {{"--screenshot", "shot.jpg"}, "--screenshot: \"shot.jpg\""},
        {{"--screenshot", ".png"}, "--screenshot: \".png\""},
        {{"--draw", "GL"}, "--draw: \"GL\""},
        {{"--draw", "vulkan"}, "--draw: \"vulkan\""},
        {{"--scene"}, "--scene needs a value"},
        {{"--frames", "--fps-log"}, "--frames needs a value"},
        {{"--fps-log=yes"}, "--fps-log takes no value"},
        {{"--help=1"}, "--help takes no value"},
        // A wrong argument after a good one, and after --help.
        {{"--scene", "2", "--draw", "x"}, "--draw: \"x\""},
        {{"--help", "--frames", "many"}, "--frames: \"many\""},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments) shown += " [" + a + "]";
        const TCommandLine line = ParseCommandLine(c.arguments);
        EXPECT_EQ(line.Action, TAction::Error) << shown;
        EXPECT_NE(line.Error.find(c.named), std::string::npos) << shown << ": " << line.Error;
        EXPECT_EQ(line.Error.find('\n'), std::string::npos) << shown << ": " << line.Error;
    }
    EXPECT_EQ(COMMAND_LINE_EXIT, 2);
}

TEST(CommandLine, HelpListsEveryOption) {
    EXPECT_EQ(ParseCommandLine({"--help"}).Action, TAction::Help);
    EXPECT_EQ(ParseCommandLine({"--scene", "2", "-h"}).Action, TAction::Help);
    const std::string usage = UsageText();
    for (const char* option :
         {"--scene N", "--frames N", "--screenshot FILE.png", "--draw gl|cpu|auto", "--fps-log", "--help"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(usage.back(), '\n');
}
