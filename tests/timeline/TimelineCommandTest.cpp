// The orvane-timeline dump command, run as a user would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CommandRun {
    int exitCode = -1;
    std::string out;
};

CommandRun run(const std::string& args) {
    const std::string cmd = std::string(ORVANE_TIMELINE_BIN) + " " + args + " 2>&1";
    CommandRun r;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    char buf[4096];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) {
        r.out.append(buf, n);
    }
    const int status = pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::vector<std::vector<std::string>> rows(const std::string& csv) {
    std::vector<std::vector<std::string>> out;
    std::istringstream lines(csv);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::string cell;
        std::istringstream cs(line);
        while (std::getline(cs, cell, ',')) {
            cells.push_back(cell);
        }
        if (!line.empty() && line.back() == ',') {
            cells.emplace_back();
        }
        out.push_back(cells);
    }
    return out;
}

class TimelineCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("orvane-timeline-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text) {
        const fs::path p = dir / name;
        std::ofstream(p) << text;
        return p.string();
    }
    fs::path dir;
};

constexpr const char* kHeader = "t,frame_cx,frame_cy,frame_w,frame_zoom,frame_smooth,frame_fx,"
                                "frame_fy,state_x,state_y,state_w,cursor_x,cursor_y,cursor_scale,"
                                "pointer";

} // namespace

TEST_F(TimelineCommand, ReproducesTheSyntheticCursorExample) {
    const auto clicks =
        write("c.json", R"({"duration":3,"moments":[{"t":1.0,"x":0.2,"y":0.2},{"t":3.0,"x":0.8,"y":0.8}]})");
    const CommandRun r = run("--clicks " + clicks + " --duration 5 --smoothness 0 --rate 100");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto table = rows(r.out);
    ASSERT_EQ(table[0].size(), 15u);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), kHeader);
    ASSERT_EQ(table.size(), 1u + 501u); // 0 ... 5 s inclusive at 100 Hz
    const auto& at283 = table[1 + 283];
    EXPECT_EQ(at283[0], "2.83");
    EXPECT_NEAR(std::stod(at283[11]), 0.5, 1e-9);
    EXPECT_NEAR(std::stod(at283[12]), 0.5, 1e-9);
    EXPECT_EQ(table[1 + 276][11], "0.2");
    EXPECT_EQ(table[1 + 290][11], "0.8");
    EXPECT_EQ(table[1 + 100][13], "0.7"); // click pulse
    EXPECT_EQ(table.back()[0], "5");
    // The two clicks are 2 s apart: one segment [0.5, 4.45], zoom 1.5 at 2.0 s.
    EXPECT_NEAR(std::stod(table[1 + 200][3]), 1 / 1.5, 1e-9);
    EXPECT_EQ(table[1 + 200][6], ""); // no focus lock
    EXPECT_EQ(table[1 + 200][14], "0");
}

TEST_F(TimelineCommand, LastRowIsTheDurationAndSettingsApply) {
    const auto clicks = write("c.json", R"({"duration":1,"moments":[{"t":1,"x":0.9,"y":0.1}]})");
    const auto track = write("t.csv", "t,x,y,pointer\n0,0.9,0.1,1\n2,0.9,0.1,1\n");
    const CommandRun r = run("--clicks " + clicks + " --duration 1.01 --zoom 2 --merge 1 --track " + track);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto table = rows(r.out);
    ASSERT_EQ(table.size(), 1u + 61u + 1u);
    EXPECT_EQ(table.back()[0], "1.01");
    EXPECT_EQ(table.back()[14], "1");
    // At 1.0 s (segment [0.5, 1.01]: zoom-in to 0.755) the camera leans toward the cursor.
    EXPECT_GT(std::stod(table[1 + 45][8]), 0.5);
    EXPECT_EQ(table[1 + 45][4], "2");
}

TEST_F(TimelineCommand, HelpDocumentsEveryColumn) {
    const CommandRun r = run("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* col : {"frame_cx", "frame_fy", "state_w", "cursor_scale", "pointer", "--merge",
                            "--rate", "--track"}) {
        EXPECT_NE(r.out.find(col), std::string::npos) << col;
    }
}

TEST_F(TimelineCommand, BadInputGetsOneLineAndNonZeroExit) {
    const auto good = write("c.json", R"({"duration":0,"moments":[]})");
    const auto bad = write("bad.json", R"({"duration":0,"moments":[{"t":1}]})");
    const auto badTrack = write("t.csv", "t,x,y,pointer\n0,0,0,2\n");
    const std::pair<std::string, std::string> cases[] = {
        {"--clicks " + (dir / "missing.json").string() + " --duration 1", "missing.json: no such file"},
        {"--clicks " + bad + " --duration 1", "bad.json: moment 0"},
        {"--clicks " + good + " --duration 1 --track " + badTrack, "t.csv: line 2"},
        {"--clicks " + good + " --duration 1 --track " + dir.string(), "is a directory"},
        {"--clicks " + good, "--duration"},
        {"--duration 1", "--clicks"},
        {"--clicks " + good + " --duration -1", "--duration"},
        {"--clicks " + good + " --duration 1 --rate 0", "--rate"},
        {"--clicks " + good + " --duration 1 --zoom abc", "--zoom"},
        {"--clicks " + good + " --duration 1 --bogus", "unknown option"},
    };
    for (const auto& [args, fragment] : cases) {
        const CommandRun r = run(args);
        EXPECT_NE(r.exitCode, 0) << args;
        EXPECT_NE(r.out.find(fragment), std::string::npos) << args << " -> " << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    }
}
