// The demo's command line: what each option sets, and the one line a wrong
// argument earns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

using TAction = TCommandLine::TAction;

TEST(CommandLine, EveryOptionInBothSpellingsAndNoneForTheDefaults) {
    const TDemoOptions defaults = ParseCommandLine({}).Options;
    EXPECT_TRUE(defaults.Scene == 1 && defaults.Frames == 0 && defaults.Screenshot.empty() &&
                defaults.Draw == TDrawChoice::Auto && !defaults.FpsLog && !defaults.Contacts);

    const TCommandLine line = ParseCommandLine({"--scene", "3", "--frames=2147483647", "--screenshot", "a/Shot.PNG",
                                                "--draw=gl", "--draw", "cpu", "--fps-log", "--contacts"});
    ASSERT_EQ(line.Action, TAction::Run) << line.Error;
    EXPECT_EQ(line.Options.Scene, 3);
    EXPECT_EQ(line.Options.Frames, 2147483647);
    EXPECT_EQ(line.Options.Screenshot, "a/Shot.PNG");
    EXPECT_EQ(line.Options.Draw, TDrawChoice::Cpu);  // the last one counts
    EXPECT_TRUE(line.Options.FpsLog);
    EXPECT_TRUE(line.Options.Contacts);
    const TDemoOptions files =
        ParseCommandLine({"--record", "a.txt", "--replay=b.txt", "--frames", "9", "--draw", "gl"}).Options;
    EXPECT_TRUE(files.Record == "a.txt" && files.Replay == "b.txt" && files.Frames == 9 &&
                files.Draw == TDrawChoice::Gl);
    EXPECT_EQ(ParseCommandLine({"--help", "--scene=2"}).Action, TAction::Help);
}

TEST(CommandLine, AWrongArgumentGivesOneLineQuotingIt) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--sceen", "2"}, "\"--sceen\""},
        {{"2"}, "\"2\""},
        {{"--scene", "4"}, "--scene: \"4\""},
        {{"--scene", " 2"}, "--scene: \" 2\""},
        {{"--scene="}, "--scene: \"\""},
        {{"--frames", "0"}, "--frames: \"0\""},
        {{"--frames", "-5"}, "--frames: \"-5\""},
        {{"--frames", "2147483648"}, "--frames: \"2147483648\""},
        {{"--frames", "1e3"}, "--frames: \"1e3\""},
        {{"--screenshot", "shot.jpg"}, "--screenshot: \"shot.jpg\""},
        {{"--draw", "GL"}, "--draw: \"GL\""},
        {{"--scene"}, "--scene needs a value"},
        {{"--frames", "--fps-log"}, "--frames needs a value"},
        {{"--fps-log=yes"}, "--fps-log takes no value"},
        {{"--contacts=on"}, "--contacts takes no value"},
        {{"--help", "--draw", "x"}, "--draw: \"x\""},  // a typo is named even with --help
        {{"--record="}, "--record: \"\""},
        {{"--scene", "2", "--replay", "run.txt"}, "--scene cannot go with --replay"},
    };
    for (const auto& [arguments, quoted] : cases) {
        const TCommandLine line = ParseCommandLine(arguments);
        EXPECT_EQ(line.Action, TAction::Error) << quoted;
        EXPECT_NE(line.Error.find(quoted), std::string::npos) << line.Error;
        EXPECT_EQ(line.Error.find('\n'), std::string::npos) << line.Error;
    }
}
